# zlib serves as an independent oracle for the CRC-32.
target_link_libraries(${target} PRIVATE qxzlib)
