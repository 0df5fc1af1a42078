# The user manual, placed beside the program (the Manual command opens it
# from there). configure_file copies it again whenever it changes.
configure_file(${CMAKE_SOURCE_DIR}/data/vemarkt.html ${CMAKE_BINARY_DIR}/vemarkt.html COPYONLY)
