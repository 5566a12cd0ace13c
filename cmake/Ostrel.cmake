# ostrel_sources(<target> <folder>...): add every .cpp of the folders to a target.
function(ostrel_sources target)
  foreach(dir ${ARGN})
    file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
    target_sources(${target} PRIVATE ${srcs})
  endforeach()
endfunction()

# ostrel_library(<name> FOLDERS <dir>... [EXCLUDE <file>...] [DEPS <lib>...])
function(ostrel_library name)
  cmake_parse_arguments(A "" "" "FOLDERS;EXCLUDE;DEPS" ${ARGN})
  set(all)
  foreach(dir ${A_FOLDERS})
    file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
    list(APPEND all ${srcs})
  endforeach()
  foreach(ex ${A_EXCLUDE})
    list(REMOVE_ITEM all ${CMAKE_SOURCE_DIR}/${ex})
  endforeach()
  add_library(${name} STATIC ${all})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  if(A_DEPS)
    target_link_libraries(${name} PUBLIC ${A_DEPS})
  endif()
endfunction()

# ostrel_test(<name> [LIBS <lib>...] [ENV <VAR=value>...] [LABELS <label>...] [FILTER <gtest filter>]):
# one GoogleTest binary from every .cpp in the calling folder.
function(ostrel_test name)
  cmake_parse_arguments(A "" "FILTER" "LIBS;ENV;LABELS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gtest_main GTest::gmock)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
  # The code under test is built optimised; the tests themselves are mostly
  # assertion macros, which take twice as long to compile optimised (and four
  # times under the sanitizers) for no gain in what they check.
  target_compile_options(${name} PRIVATE -O0)
  set(env SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
          OSTREL_SOURCE_DIR=${CMAKE_SOURCE_DIR} OSTREL_BINARY_DIR=${CMAKE_BINARY_DIR} ${A_ENV})
  # Every test runs under `env` with these variables: gtest_discover_tests
  # cannot pass a list-valued ENVIRONMENT property (only its first entry arrived).
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "env;${env}")
  # FILTER: a gtest filter for the tests listed (those left out run as tests of their own).
  set(filter)
  if(A_FILTER)
    set(filter TEST_FILTER ${A_FILTER})
  endif()
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES LABELS "${A_LABELS}"
    DISCOVERY_TIMEOUT 60 ${filter})
endfunction()

# ostrel_fuzzer(<name> <source> LIBS <lib>...): a libFuzzer target; in a
# build without the fuzzer, a program that replays the target's committed
# corpus (tests/fixtures/fuzz/<name>) once, as a test.
function(ostrel_fuzzer name source)
  cmake_parse_arguments(A "" "" "LIBS" ${ARGN})
  if(OSTREL_FUZZ)
    add_executable(${name} ${source})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  else()
    add_executable(${name} ${source} ${CMAKE_SOURCE_DIR}/fuzz/replay_main.cpp)
    add_test(NAME ${name}_corpus COMMAND ${name} ${CMAKE_SOURCE_DIR}/tests/fixtures/fuzz/${name})
    set_tests_properties(${name}_corpus PROPERTIES
      ENVIRONMENT "SDL_VIDEODRIVER=dummy;SDL_AUDIODRIVER=dummy;OSTREL_NO_MESSAGE_BOX=1" LABELS fuzz_corpus)
  endif()
  target_link_libraries(${name} PRIVATE ${A_LIBS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
endfunction()

# ostrel_add_subfolders(): add every subfolder of the calling folder that has
# a CMakeLists.txt (tests/, bench/, fuzz/ and tools/ grow this way).
function(ostrel_add_subfolders)
  file(GLOB children RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(child ${children})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# ostrel_renderer(<name> FOLDERS <dir>... INCLUDE <dir> [DEPS <lib>...]): one
# program's renderer: its own folders and world/view, the logic both programs
# share, compiled against that program's renderer headers (INCLUDE holds
# renderer/*.h). Each program links exactly one of these.
function(ostrel_renderer name)
  cmake_parse_arguments(A "" "INCLUDE" "FOLDERS;DEPS" ${ARGN})
  ostrel_library(${name} FOLDERS ${A_FOLDERS} world/view DEPS ${A_DEPS})
  target_include_directories(${name} PUBLIC ${A_INCLUDE})
endfunction()

# ostrel_client_library(<name> <renderer>): the client compiled against one
# program's renderer; the renderer objects of client_video_*.cpp stand beside it.
function(ostrel_client_library name renderer)
  ostrel_library(${name} FOLDERS client
                 EXCLUDE client/client_video_soft.cpp client/client_video_gl.cpp client/client_video_none.cpp
                 DEPS ${renderer} ostrel_net ostrel_world ostrel_sound ostrel_sys)
endfunction()

# ostrel_engine_library(<name> <client>): the engine object over one program's client.
function(ostrel_engine_library name client)
  add_library(${name} STATIC ${CMAKE_SOURCE_DIR}/engine/engine.cpp ${CMAKE_SOURCE_DIR}/engine/entry.cpp)
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ostrel_server ${client} ostrel_net ostrel_sys)
endfunction()

# ostrel_program_pair(<name> SOURCES <file>... [SOFT <lib>... GL <lib>...]
#                     [DEPENDS <target>...]): one source set built once over
# each program, <name>_soft and <name>_gl (the latter with OSTREL_PROGRAM_GL
# defined), each linking only its own program's libraries: the engine and the
# client's renderer object unless SOFT and GL name others.
function(ostrel_program_pair name)
  cmake_parse_arguments(A "" "" "SOURCES;SOFT;GL;DEPENDS" ${ARGN})
  if(NOT A_SOFT)
    set(A_SOFT ostrel_engine ostrel_client_soft)
  endif()
  if(NOT A_GL)
    set(A_GL ostrel_engine_gl ostrel_client_gl)
  endif()
  foreach(program SOFT GL)
    string(TOLOWER ${program} suffix)
    add_executable(${name}_${suffix} ${A_SOURCES})
    target_link_libraries(${name}_${suffix} PRIVATE ${A_${program}})
    target_include_directories(${name}_${suffix} PRIVATE ${CMAKE_SOURCE_DIR})
    if(A_DEPENDS)
      add_dependencies(${name}_${suffix} ${A_DEPENDS})
    endif()
  endforeach()
  target_compile_definitions(${name}_gl PRIVATE OSTREL_PROGRAM_GL)
endfunction()
