# The factory exports are compiled into this program itself.
target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/qxnetengine/exports/gameclient_get.cpp
  ${CMAKE_SOURCE_DIR}/qxnetengine/exports/netengine_get.cpp)
