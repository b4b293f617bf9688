# Writes OUTPUT, a header defining MES_SOURCE_COMMIT: the commit the programs
# were built from, followed by "-modified" when tracked files differ from it.
# A build without the git history (a copy of the tree) takes it from the
# environment variable MES_SOURCE_COMMIT, else says "unknown". The file is
# rewritten only when the text changes, so a build of the same commit
# recompiles nothing.
# Usage: cmake -DSOURCE_DIR=... -DOUTPUT=... -P SourceCommit.cmake
if(DEFINED ENV{MES_SOURCE_COMMIT} AND NOT "$ENV{MES_SOURCE_COMMIT}" STREQUAL "")
  set(commit "$ENV{MES_SOURCE_COMMIT}")
else()
  set(commit unknown)
  find_program(GIT git)
  if(GIT AND EXISTS ${SOURCE_DIR}/.git)
    execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} rev-parse HEAD
      OUTPUT_VARIABLE head OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE head_failed
      ERROR_QUIET)
    if(NOT head_failed)
      set(commit ${head})
      execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} diff --quiet HEAD --
        RESULT_VARIABLE modified ERROR_QUIET)
      if(modified)
        string(APPEND commit -modified)
      endif()
    endif()
  endif()
endif()
set(text "// Made by cmake/SourceCommit.cmake at build time.\n#define MES_SOURCE_COMMIT \"${commit}\"\n")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
endif()
if(NOT "${old}" STREQUAL "${text}")
  file(WRITE ${OUTPUT} "${text}")
endif()
