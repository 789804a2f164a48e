# The Windows build: 3gpDemux.dll and OMX_Core.dll from the same sources as
# the Linux build, against the SDK headers mingw-w64 ships. Only platform/
# differs: platform/device/ supplies what the device has and the desktop SDK
# lacks (debug output, EventModify, CE thread priorities, the device's media
# types). faad2 is compiled from its source tree (FAAD2_SOURCE_DIR), since
# Debian has no Windows build of it.

# Everything links its C and C++ run time in, so the DLLs and the test
# program need nothing beside them but Windows' own DLLs; a Release build
# drops the symbol tables too.
set(DEMUX_WIN_STATIC_RUNTIME -static -static-libgcc -static-libstdc++ $<$<CONFIG:Release>:-s>)

# --- device services on desktop Windows ---------------------------------------
file(GLOB DEVICE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/device/*.cpp)
add_library(demux_device STATIC ${DEVICE_SOURCES})
target_include_directories(demux_device PUBLIC ${CMAKE_SOURCE_DIR}/platform/include)
target_link_libraries(demux_device PUBLIC ole32 oleaut32 strmiids uuid)
demux_device_code(demux_device)

# --- OpenMAX IL core with the AAC header-parsing component --------------------
set(FAAD2_SOURCE_DIR "" CACHE PATH "Unpacked faad2 source tree (tools/windows/fetch-faad2.sh)")
if(NOT EXISTS ${FAAD2_SOURCE_DIR}/libfaad/decoder.c)
  message(FATAL_ERROR "FAAD2_SOURCE_DIR must name an unpacked faad2 source tree; tools/windows/fetch-faad2.sh makes one")
endif()
# On Windows neaacdec.h marks the decoder's functions dllexport, which would
# put them among OMX_Core.dll's exports; the build uses a copy without that.
file(READ ${FAAD2_SOURCE_DIR}/include/neaacdec.h FAAD2_HEADER)
string(REGEX REPLACE "__decl[s]pec\\(dllexport\\)" "" FAAD2_HEADER "${FAAD2_HEADER}")
file(WRITE ${CMAKE_BINARY_DIR}/faad2-include/neaacdec.h.new "${FAAD2_HEADER}")
# Copied only when it changed, so that a new configure rebuilds nothing.
configure_file(${CMAKE_BINARY_DIR}/faad2-include/neaacdec.h.new ${CMAKE_BINARY_DIR}/faad2-include/neaacdec.h COPYONLY)
file(GLOB FAAD2_SOURCES ${FAAD2_SOURCE_DIR}/libfaad/*.c)
add_library(faad2_win STATIC ${FAAD2_SOURCES})
target_include_directories(faad2_win PUBLIC ${CMAKE_BINARY_DIR}/faad2-include PRIVATE ${FAAD2_SOURCE_DIR}/libfaad)
# What faad2's configure would find on Windows; PACKAGE_VERSION also stands
# in for the version header its Visual Studio project generates.
target_compile_definitions(faad2_win PRIVATE STDC_HEADERS=1 HAVE_STDINT_H=1 HAVE_STRING_H=1 HAVE_STDLIB_H=1
                                             HAVE_MEMCPY=1 HAVE_STRCHR=1 HAVE_LRINTF=1 PACKAGE_VERSION="debian-source")
target_compile_options(faad2_win PRIVATE -w)

file(GLOB OMX_CORE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/omx/*.cpp)
add_library(OMX_Core SHARED ${OMX_CORE_SOURCES} ${CMAKE_SOURCE_DIR}/platform/omx/OMX_Core.def)
target_include_directories(OMX_Core PUBLIC ${CMAKE_SOURCE_DIR}/platform/include)
target_link_libraries(OMX_Core PRIVATE faad2_win)
target_link_options(OMX_Core PRIVATE ${DEMUX_WIN_STATIC_RUNTIME})
set_target_properties(OMX_Core PROPERTIES PREFIX "" OUTPUT_NAME OMX_Core RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
demux_host_code(OMX_Core)

# --- framework and module -----------------------------------------------------
# 3gpDemux.dll: the .def file names its four exports; it imports OMX_Core.dll
# by name, as on the device. On 32-bit Windows the entry points are
# __stdcall, decorated as _DllGetClassObject@12 and so on: the linker binds
# the .def file's plain names to them, which is what callers look up.
set(DEMUX_SERVER_LINK_OPTIONS ${DEMUX_WIN_STATIC_RUNTIME})
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  list(APPEND DEMUX_SERVER_LINK_OPTIONS -Wl,--enable-stdcall-fixup)
endif()
demux_add_module(PLATFORM demux_device OMX OMX_Core SERVER SERVER_LINK_OPTIONS ${DEMUX_SERVER_LINK_OPTIONS})

# --- the test program that drives the module through Wine's DirectShow -------
file(GLOB WINE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/*.cpp)
if(WINE_TEST_SOURCES)
  # The sinks are the host's recording sink, which needs nothing from the
  # stand-ins.
  add_executable(demux_wine_test ${WINE_TEST_SOURCES} ${CMAKE_SOURCE_DIR}/host/recordingsink.cpp
                                 ${CMAKE_SOURCE_DIR}/host/sinkinputpin.cpp ${CMAKE_SOURCE_DIR}/host/samplejson.cpp)
  # Of the module it sees only the public header (3gpDemux.h).
  target_include_directories(demux_wine_test PRIVATE ${CMAKE_SOURCE_DIR}/host ${CMAKE_SOURCE_DIR}/filters/3gpp_demux)
  target_link_libraries(demux_wine_test PRIVATE demux_framework demux_device advapi32)
  target_link_options(demux_wine_test PRIVATE ${DEMUX_WIN_STATIC_RUNTIME} -municode)
  set_target_properties(demux_wine_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  demux_host_code(demux_wine_test)
endif()
