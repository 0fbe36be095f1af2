# Installation and packaging: the programs in bin, the libraries (and the modules loaded at
# run time: the mail provider, MIDI and discs, the codecs) in lib/tonedeck, found through run paths relative to $ORIGIN so an installed
# tree works wherever it is put; the menu entry, the icon, and an autostart entry that
# stays unused until the user ticks "Start Tonedeck with the desktop".
include(GNUInstallDirs)
set(td_libdir ${CMAKE_INSTALL_LIBDIR}/tonedeck)
file(RELATIVE_PATH td_bin_to_lib /${CMAKE_INSTALL_BINDIR} /${td_libdir})

set(td_programs tonedeck tdtool)
set(td_libraries tdplatform tdplatform_desktop tdkit tdkit_ui)
foreach(lib tdseek tdmemo tdpost tdmend tdinbox)
    list(APPEND td_libraries ${lib} ${lib}_ui)
endforeach()

foreach(target ${td_programs})
    if(TARGET ${target})
        set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/${td_bin_to_lib}")
        install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()
foreach(target ${td_libraries} tdmapi tdmedia tdcodec)
    if(TARGET ${target})
        set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
        install(TARGETS ${target} LIBRARY DESTINATION ${td_libdir})
    endif()
endforeach()

set(td_desktop ${PROJECT_SOURCE_DIR}/tonedeck/desktop)
install(FILES ${td_desktop}/tonedeck.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${td_desktop}/tonedeck.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# Bitmaps of the same picture the program draws as its window icon, for menus and
# panels that do not scale the SVG.
foreach(size 16 32 48)
    install(FILES ${td_desktop}/tonedeck-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME tonedeck.png)
endforeach()
install(FILES ${td_desktop}/tonedeck-autostart.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tonedeck RENAME tonedeck.desktop)

# cpack -G DEB: a package for Debian whose dependencies dpkg-shlibdeps works out.
set(CPACK_PACKAGE_NAME tonedeck)
set(CPACK_PACKAGE_VENDOR "Tonedeck")
set(CPACK_PACKAGE_CONTACT "Tonedeck developers <tonedeck@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Sound centre docked to the edge of the screen")
set(CPACK_PACKAGE_DESCRIPTION
    "A thin bar docked to a screen edge with master volume controls and task buttons that "
    "slide out drawers: an audio recorder, voicegrams by mail, Echo Memos that play back at "
    "set times, and a search for sound files.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY tonedeck)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "timgm6mb-soundfont, xdg-utils")
set(CPACK_STRIP_FILES ON)
include(CPack)

add_test(NAME tonedeck_package
    COMMAND bash ${PROJECT_SOURCE_DIR}/tonedeck/tests/package_test.sh ${CMAKE_BINARY_DIR})
set_tests_properties(tonedeck_package PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE)
