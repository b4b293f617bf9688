// What an archive operation tells the player when it fails: exactly one
// message, caption "ｱｯﾌﾟﾃﾞｰﾄ", information style, formatted with one argument.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/FaultySystem.h"
#include "platform/MessageTexts.h"

inline std::string Formatted(const char* format, const std::string& argument) {
  char text[1024];
  std::snprintf(text, sizeof text, format, argument.c_str());
  return text;
}

inline void ExpectOnlyArchiveMessage(const FaultySystem& system, const char* format,
                                     const std::string& argument) {
  ASSERT_EQ(system.messages.size(), 1u);
  EXPECT_EQ(system.messages[0].text, Formatted(format, argument));
  EXPECT_EQ(system.messages[0].caption, text::kCaptionArchive);
  EXPECT_EQ(system.messages[0].style, os::MessageStyle::kInformation);
}
