# Refuses an include that runs against the layers. Each folder under src/ is one layer
# and may include only the layers listed for it below; a header outside the project
# (angle brackets) is not checked here, the link lines keep Widgets out of the core.
#
#   cmake -DSOURCE_DIR=<project>/src -P CheckLayers.cmake
#
# Run at configure time and as the ctest test "layers".
cmake_minimum_required(VERSION 3.25)

set(allowed_core core)
set(allowed_controls core controls)
set(allowed_print core print)
set(allowed_windows core controls print windows)
set(allowed_cli core print cli)
set(allowed_app core controls print windows app)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "CheckLayers.cmake: SOURCE_DIR is not set")
endif()

set(problems "")
file(GLOB layers RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*")
foreach(layer IN LISTS layers)
  if(NOT IS_DIRECTORY "${SOURCE_DIR}/${layer}")
    continue()
  endif()
  if(NOT DEFINED allowed_${layer})
    string(APPEND problems "\n  src/${layer}: a folder that is no known layer")
    continue()
  endif()
  file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/${layer}/*.h"
       "${SOURCE_DIR}/${layer}/*.cpp")
  foreach(source IN LISTS sources)
    file(STRINGS "${SOURCE_DIR}/${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" header "${line}")
      if(header MATCHES "\\.moc$")
        continue()
      endif()
      string(REGEX MATCH "^[^/]+" target_layer "${header}")
      if(header MATCHES "\\.\\.|^/" OR NOT header MATCHES "/")
        string(APPEND problems "\n  ${source}: \"${header}\" (write the path from src/)")
      elseif(NOT target_layer IN_LIST allowed_${layer})
        string(APPEND problems "\n  ${source}: \"${header}\" (${layer} may include: ${allowed_${layer}})")
      endif()
    endforeach()
  endforeach()
endforeach()

if(problems)
  message(FATAL_ERROR "Includes against the layers:${problems}")
endif()
