# The output volume from a Pulse sound server.
pkg_check_modules(PULSE REQUIRED IMPORTED_TARGET libpulse)
target_link_libraries(quillbay_platform PUBLIC PkgConfig::PULSE)
# The backlight's change events.
pkg_check_modules(UDEV REQUIRED IMPORTED_TARGET libudev)
target_link_libraries(quillbay_platform PUBLIC PkgConfig::UDEV)

# A media player on the session bus for the now-playing tests, driven from its standard input.
add_executable(quillbay-mpris-player tests/helpers/mpris_player.cpp)
target_link_libraries(quillbay-mpris-player PRIVATE Qt6::Core Qt6::DBus)
set_target_properties(quillbay-mpris-player PROPERTIES AUTOMOC ON)
foreach(t tst_MprisPlayers tst_IslandMedia bench_Media)
  if(TARGET ${t})
    add_dependencies(${t} quillbay-mpris-player)
    target_compile_definitions(${t} PRIVATE QUILLBAY_MPRIS_PLAYER="$<TARGET_FILE:quillbay-mpris-player>")
  endif()
endforeach()
if(TARGET tst_IslandMedia)
  add_dependencies(tst_IslandMedia quillbay)
endif()
