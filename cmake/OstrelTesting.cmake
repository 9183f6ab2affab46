# ostrel_add_test(NAME SOURCES ... [LIBS ...] [GUI] [WEBENGINE] [TIMEOUT s])
# One QtTest executable per suite, registered with ctest. GUI suites render
# offscreen; WebEngine suites also run Chromium without its sandbox (CI runs as
# root), which is set here for tests only, never for the application.
# Suites are labelled "kit" (no display needed) or "gui".
set(OSTREL_CORPUS_DIR "${PROJECT_SOURCE_DIR}/../shared/pst-corpus")

function(ostrel_add_test name)
  cmake_parse_arguments(T "GUI;WEBENGINE" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test ostrel_test_support ostrel_warnings ${T_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  set(env "OSTREL_CORPUS_DIR=${OSTREL_CORPUS_DIR}" "QT_LOGGING_RULES=qt.webenginecontext.info=false")
  if(T_GUI OR T_WEBENGINE)
    list(APPEND env "QT_QPA_PLATFORM=offscreen")
  endif()
  if(T_WEBENGINE)
    list(APPEND env "QTWEBENGINE_DISABLE_SANDBOX=1" "QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu")
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  if(T_GUI OR T_WEBENGINE)
    set(label gui)
  else()
    set(label kit)
  endif()
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT ${T_TIMEOUT} LABELS ${label})
endfunction()
