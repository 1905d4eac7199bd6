# The lists of the signals the C++ takes, made from the one signal table
# (generators/signal_table.py) when the build is configured, and again whenever
# the table or the generator changes: the engine's codes and the order of
# its rules, and the names msxhost prints, in ${BARSIGHT_SIGNALS_DIR}
# (included as "signals/..." from ${CMAKE_BINARY_DIR}). The MQL includes made
# from the same table ship as source and are committed; the test
# kit_signal_table fails when they differ from the table.
set(BARSIGHT_SIGNAL_TABLE ${PROJECT_SOURCE_DIR}/generators/signal_table.py)
set(BARSIGHT_SIGNALS_GENERATOR ${PROJECT_SOURCE_DIR}/generators/make_signals.py)
set(BARSIGHT_SIGNALS_DIR ${CMAKE_BINARY_DIR}/signals)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${BARSIGHT_SIGNAL_TABLE} ${BARSIGHT_SIGNALS_GENERATOR})
execute_process(
  COMMAND ${Python3_EXECUTABLE} ${BARSIGHT_SIGNALS_GENERATOR} --out ${BARSIGHT_SIGNALS_DIR}
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
  RESULT_VARIABLE signals_result
  ERROR_VARIABLE signals_error)
if(NOT signals_result EQUAL 0)
  message(FATAL_ERROR "generators/make_signals.py failed: ${signals_error}")
endif()
