# Code that ships on the device: C++03 (the device toolchain has nothing
# newer), warnings are errors.
function(demux_device_code target)
  target_compile_options(${target} PRIVATE -std=c++03 -Wall -Wextra -Werror)
endfunction()

# The code that ships on the device, declared the same way for every build
# (Linux host, Windows, 32-bit ARM):
#   demux_add_module(PLATFORM <kernel and COM> OMX <OpenMAX core>
#                    [SERVER] [SERVER_LINK_OPTIONS <option>...])
# makes demux_framework (our DirectShow base classes) and demux_module (the
# filter and its parser), both C++03 with warnings as errors, and with
# SERVER the in-process server 3gpDemux (lib3gpDemux.so, 3gpDemux.dll) that
# the platform loads. PLATFORM and OMX are the caller's targets, which
# differ per build.
function(demux_add_module)
  cmake_parse_arguments(ARG "SERVER" "PLATFORM;OMX" "SERVER_LINK_OPTIONS" ${ARGN})
  set(root ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/..)

  file(GLOB framework_sources CONFIGURE_DEPENDS ${root}/framework/*.cpp)
  add_library(demux_framework STATIC ${framework_sources})
  target_include_directories(demux_framework PUBLIC ${root}/framework)
  target_link_libraries(demux_framework PUBLIC ${ARG_PLATFORM})

  file(GLOB module_sources CONFIGURE_DEPENDS ${root}/filters/3gpp_demux/*.cpp)
  add_library(demux_module STATIC ${module_sources})
  target_include_directories(demux_module PUBLIC ${root}/filters/3gpp_demux)
  target_link_libraries(demux_module PUBLIC demux_framework ${ARG_PLATFORM} ${ARG_OMX})

  demux_device_code(demux_framework)
  demux_device_code(demux_module)
  if(NOT ARG_SERVER)
    return()
  endif()
  # The shared object shows only the server's four entry points
  # (MODULE_EXPORT); on Windows the .def file alone decides.
  if(NOT WIN32)
    set_target_properties(demux_framework demux_module PROPERTIES CXX_VISIBILITY_PRESET hidden
                                                                  VISIBILITY_INLINES_HIDDEN ON)
  endif()

  # All of the module and its framework, exporting DllGetClassObject,
  # DllCanUnloadNow, DllRegisterServer and DllUnregisterServer (the .def file
  # names them for the Windows and device linkers). Kernel, COM and OpenMAX
  # are the process's shared libraries, as on the device.
  add_library(3gpDemux SHARED ${root}/filters/3gpp_demux/3gpDemux.def)
  set_target_properties(3gpDemux PROPERTIES LINKER_LANGUAGE CXX OUTPUT_NAME 3gpDemux
                                            LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}
                                            RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  if(WIN32)
    set_target_properties(3gpDemux PROPERTIES PREFIX "")
  endif()
  target_link_libraries(3gpDemux PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,demux_module>" demux_framework
                                         ${ARG_PLATFORM} ${ARG_OMX})
  target_link_options(3gpDemux PRIVATE ${ARG_SERVER_LINK_OPTIONS} -Wl,--no-undefined)
endfunction()
