# pantrix_windows_resource(target): gives a Windows program the icon and
# version information of data/windows/pantrix.rc.
function(pantrix_windows_resource target)
  if(NOT WIN32)
    return()
  endif()
  set(rc ${PROJECT_SOURCE_DIR}/data/windows/pantrix.rc)
  target_sources(${target} PRIVATE ${rc})
  set_property(SOURCE ${rc} TARGET_DIRECTORY ${target} APPEND PROPERTY COMPILE_DEFINITIONS
    PANTRIX_VERSION_MAJOR=${PROJECT_VERSION_MAJOR} PANTRIX_VERSION_MINOR=${PROJECT_VERSION_MINOR})
  target_compile_definitions(${target} PRIVATE $<$<COMPILE_LANGUAGE:RC>:PANTRIX_RC_NAME=${target}>)
endfunction()
