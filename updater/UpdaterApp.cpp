#include "updater/UpdaterApp.h"

UpdaterApp::UpdaterApp() : archive_path_{} {}

std::int32_t UpdaterApp::Init() { return 0; }

void UpdaterApp::Exit() {}

std::int32_t UpdaterApp::Run() { return 1; }
