# The Windows build's tests beyond the unit and plug-in programs: the DLL's
# import and export lists, the validator, and the plug-in programs once more
# with the baseline forms. All but the list check run under wine, in a
# private prefix under the build folder that the first test makes.

# Only system DLLs imported, only the two entry points exported (run here,
# with MinGW's objdump).
add_test(NAME dll_imports_exports
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-windows-dll $<TARGET_FILE:Brindlewave>)
set_tests_properties(dll_imports_exports PROPERTIES LABELS package)

add_test(NAME validator COMMAND brindlewave-validate $<TARGET_FILE:Brindlewave>)
set_tests_properties(validator PROPERTIES LABELS validate TIMEOUT 300)

foreach(name effect_test host_interface_test)
  add_test(NAME ${name}_baseline COMMAND ${name})
  set_tests_properties(${name}_baseline PROPERTIES LABELS plugin ENVIRONMENT BRINDLEWAVE_NO_AVX2=1)
endforeach()

if(CMAKE_CROSSCOMPILING_EMULATOR)
  set(BW_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(BW_WINE_ENVIRONMENT WINEPREFIX=${BW_WINEPREFIX} WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree,mshtml=" DISPLAY=)
  # Made once; without Mono and Gecko, whose installers would ask.
  add_test(NAME wine_prefix COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} wineboot --init)
  set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine ENVIRONMENT "${BW_WINE_ENVIRONMENT}"
    TIMEOUT 300)
  get_property(BW_TESTS DIRECTORY PROPERTY TESTS)
  foreach(test ${BW_TESTS})
    if(test STREQUAL wine_prefix OR test STREQUAL dll_imports_exports)
      continue()
    endif()
    set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT ${BW_WINE_ENVIRONMENT})
    set_property(TEST ${test} APPEND PROPERTY FIXTURES_REQUIRED wine)
  endforeach()
endif()
