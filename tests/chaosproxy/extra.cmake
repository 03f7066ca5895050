target_link_libraries(${target} PRIVATE qxchaosproxylib qxrefserverlib qxpackages)
