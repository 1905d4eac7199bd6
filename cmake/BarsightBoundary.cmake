# The plug-in boundary, made from one table per DLL when the build is
# configured (and again whenever a table or the generator changes): the
# .def files, the export shims, the client exports' declarations, their
# argument bytes, the function catalogues and their calculations' argument
# checks, msxhost's client signatures and mql4run's list of the exports that
# hand over an address, all in ${BARSIGHT_BOUNDARY_DIR}.
# Nothing generated is committed; the MQL includes' #import blocks, which
# ship as source, are checked against the tables by a test instead.
set(BARSIGHT_BOUNDARY_TABLES
    ${PROJECT_SOURCE_DIR}/plugin/BarsightPlugin.exports
    ${PROJECT_SOURCE_DIR}/loader/orvane.exports
    ${PROJECT_SOURCE_DIR}/engine/Spreadcore.exports)
set(BARSIGHT_BOUNDARY_GENERATOR ${PROJECT_SOURCE_DIR}/generators/make_boundary.py)
set(BARSIGHT_BOUNDARY_DIR ${CMAKE_BINARY_DIR}/boundary)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${BARSIGHT_BOUNDARY_TABLES} ${BARSIGHT_BOUNDARY_GENERATOR})
execute_process(
  COMMAND ${Python3_EXECUTABLE} ${BARSIGHT_BOUNDARY_GENERATOR} ${BARSIGHT_BOUNDARY_TABLES}
          --out ${BARSIGHT_BOUNDARY_DIR}
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
  RESULT_VARIABLE boundary_result
  ERROR_VARIABLE boundary_error)
if(NOT boundary_result EQUAL 0)
  message(FATAL_ERROR "generators/make_boundary.py failed: ${boundary_error}")
endif()

# The generated files a library takes: its shims and its .def file.
function(barsight_exports target stem)
  target_sources(${target} PRIVATE ${BARSIGHT_BOUNDARY_DIR}/${stem}_exports.cpp)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR})
  barsight_plugin(${target} ${BARSIGHT_BOUNDARY_DIR}/${stem}.def)
endfunction()

# The generated catalogue of a table with calculations (its rows and their
# argument checks), compiled into the library that holds the bodies; whoever
# links it includes "boundary/<stem>_catalogue.h".
function(barsight_catalogue target stem)
  target_sources(${target} PRIVATE ${BARSIGHT_BOUNDARY_DIR}/${stem}_catalogue.cpp)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR})
endfunction()
