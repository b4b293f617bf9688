# Windows tests run under Wine, in one prefix made once per test run inside
# the build folder. The prefix fixture also writes the registry keys the
# wrapper tests read.
# Not "wineprefix": that is the build folder of the source folder wineprefix/.
set(MES_WINEPREFIX ${CMAKE_BINARY_DIR}/wine-test-prefix)
set(MES_WINE_ENV
  "WINEPREFIX=${MES_WINEPREFIX}"
  "WINELOADER=${MES_WINE}"
  "WINEDEBUG=-all"
  "WINEDLLOVERRIDES=mscoree,mshtml="
  "LANG=ja_JP.UTF-8"
  "LC_ALL=ja_JP.UTF-8")

add_test(NAME wine_prefix
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/make_prefix.sh ${MES_WINEPREFIX} ${MES_WINE})
set_tests_properties(wine_prefix PROPERTIES
  FIXTURES_SETUP wine ENVIRONMENT "${MES_WINE_ENV}" TIMEOUT 300)

add_test(NAME unit_tests COMMAND unit_tests --gtest_brief=1)
set_tests_properties(unit_tests PROPERTIES
  FIXTURES_REQUIRED wine ENVIRONMENT "${MES_WINE_ENV}" TIMEOUT 600)
