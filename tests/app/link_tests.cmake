# The console link as the window runs it: serial port, UDP client (also under a flood), UDP server.
kolvane_add_app_test(tst_seriallink SOURCES tst_seriallink.cpp linktesthelpers.h)
kolvane_add_app_test(tst_udpclient SOURCES tst_udpclient.cpp linktesthelpers.h TIMEOUT 180)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    # Makes network namespaces of its own (root and iproute2 needed).
    kolvane_add_app_test(tst_udpserver SOURCES tst_udpserver.cpp linktesthelpers.h TIMEOUT 180)
endif()
if(UNIX)
    # The release tick reading the link while the meters move.
    kolvane_add_app_test(tst_tickedreads SOURCES tst_tickedreads.cpp)
endif()
# The signal watch and the link lamp on both kinds of link.
kolvane_add_app_test(tst_linkstatus SOURCES tst_linkstatus.cpp linktesthelpers.h)
