# Qt 5's code generators for a cross build: the build machine's own moc, uic and rcc. Qt's package
# files define these targets only when they do not exist yet, so defining them first wins.
foreach(tool moc uic rcc)
    find_program(KOLVANE_HOST_${tool} ${tool} PATHS /usr/lib/qt5/bin NO_DEFAULT_PATH REQUIRED)
    if(NOT TARGET Qt5::${tool})
        add_executable(Qt5::${tool} IMPORTED GLOBAL)
        set_target_properties(Qt5::${tool} PROPERTIES IMPORTED_LOCATION ${KOLVANE_HOST_${tool}})
    endif()
endforeach()
