# Compile options shared by every target of the project: warnings, optional -Werror and sanitizers.
add_library(lv_options INTERFACE)
target_compile_options(lv_options INTERFACE -Wall -Wextra -Wpedantic)
# GCC 12 reports overlapping copies inside std::string's operator+ that cannot happen (its -Wrestrict
# false positive on inlined string concatenation); whether it fires depends on inlining, so it is off.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(lv_options INTERFACE -Wno-restrict)
endif()
if(LV_WERROR)
  target_compile_options(lv_options INTERFACE -Werror)
endif()
if(LV_SANITIZE)
  # Line tables only (-g1): the reports keep their files and lines, and the build is faster.
  target_compile_options(lv_options INTERFACE -fsanitize=${LV_SANITIZE} -fno-omit-frame-pointer -g1)
  target_link_options(lv_options INTERFACE -fsanitize=${LV_SANITIZE})
  # The sanitizers' instrumentation makes GCC's flow analysis see uninitialised reads that are not
  # there (inside std::function, for one); the plain build keeps the warning.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(lv_options INTERFACE -Wno-maybe-uninitialized)
  endif()
  if(LV_SANITIZE MATCHES "undefined")
    target_compile_options(lv_options INTERFACE -fno-sanitize-recover=undefined)
  endif()
endif()
if(LV_FUZZ)
  # Every library is instrumented for coverage; only the fuzz targets link the fuzzer's main().
  target_compile_options(lv_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  target_link_options(lv_options INTERFACE -fsanitize=address,undefined)
endif()
