target_link_libraries(${target} PRIVATE qxzip qxxml)
