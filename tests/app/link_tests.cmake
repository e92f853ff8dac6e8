# The console link as the window runs it: serial port, UDP client, UDP server, flood.
kolvane_add_app_test(tst_seriallink SOURCES tst_seriallink.cpp linktesthelpers.h)
kolvane_add_app_test(tst_udpclient SOURCES tst_udpclient.cpp linktesthelpers.h)
kolvane_add_app_test(tst_udpflood SOURCES tst_udpflood.cpp linktesthelpers.h TIMEOUT 180)
if(UNIX)
    # Runs its server and receiver in network namespaces of its own (root and iproute2 needed).
    kolvane_add_app_test(tst_udpserver SOURCES tst_udpserver.cpp linktesthelpers.h TIMEOUT 180)
endif()
