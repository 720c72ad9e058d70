# One library per layer; the dependency direction is base <- geo <- scenery <- session <- atc/radar (one
# engine library, skyvox_atc) <- app. dplay4 (the DirectPlay 4 codec and peer) needs only base and the
# session's DirectPlay interface; dplay4_net puts the peer on sockets.

add_library(skyvox_base
  src/base/byte_io.cpp
  src/base/files.cpp
  src/base/rounding.cpp
  src/base/text.cpp)
target_include_directories(skyvox_base PUBLIC ${PROJECT_SOURCE_DIR}/src)

# What only the operating system can tell (the program's own file, Windows's drive letters): the one
# library besides the network provider that includes the system's headers.
add_library(skyvox_platform src/platform/system.cpp)
target_link_libraries(skyvox_platform PUBLIC skyvox_base)

add_library(skyvox_geo
  src/geo/geometry.cpp
  src/geo/mag_var_grid.cpp
  src/geo/position_grid.cpp
  src/geo/wmm.cpp)
target_link_libraries(skyvox_geo PUBLIC skyvox_base)

add_library(skyvox_scenery
  src/scenery/bgl_reader.cpp
  src/scenery/bgl_scan.cpp
  src/scenery/database_build.cpp
  src/scenery/database_files.cpp
  src/scenery/magvar_terrain.cpp
  src/scenery/records.cpp
  src/scenery/scenery_config.cpp
  src/scenery/terrain_index.cpp
  src/scenery/windows_paths.cpp)
target_link_libraries(skyvox_scenery PUBLIC skyvox_geo)

add_library(skyvox_session
  src/session/chat_tap.cpp
  src/session/combined_directplay.cpp
  src/session/directplay.cpp
  src/session/loopback.cpp
  src/session/messages.cpp
  src/session/receive_loop.cpp
  src/session/roster.cpp)
target_link_libraries(skyvox_session PUBLIC skyvox_scenery)

# The DirectPlay 4 wire protocol: message codec (the network provider builds on it).
add_library(skyvox_dplay4
  src/dplay4/codec.cpp
  src/dplay4/peer.cpp
  src/dplay4/stream.cpp)
target_link_libraries(skyvox_dplay4 PUBLIC skyvox_base)

# The network provider: the peer on standalone Asio sockets, behind the DirectPlay interface. On
# Windows Asio runs over Winsock.
find_package(Threads REQUIRED)
add_library(skyvox_asio INTERFACE)
target_compile_definitions(skyvox_asio INTERFACE ASIO_STANDALONE ASIO_NO_DEPRECATED)
target_link_libraries(skyvox_asio INTERFACE Threads::Threads)
if(WIN32)
  target_include_directories(skyvox_asio SYSTEM INTERFACE ${skyvox_asio_includes})
  target_link_libraries(skyvox_asio INTERFACE ws2_32 mswsock)
endif()
add_library(skyvox_dplay4_net src/dplay4/network.cpp)
target_link_libraries(skyvox_dplay4_net PUBLIC skyvox_dplay4 skyvox_session PRIVATE skyvox_asio)

# What only the tools, the tests and the benchmarks use: world descriptions (parsed, formatted,
# synthetic), the BGL, scenery.cfg and magdec.bgl writers, and the forwarding DirectPlay wrapper.
add_library(skyvox_authoring
  src/authoring/bgl_writer.cpp
  src/authoring/magdec_writer.cpp
  src/authoring/synthetic_world.cpp
  src/authoring/world_description.cpp
  src/authoring/world_formatter.cpp
  src/authoring/world_parser.cpp)
target_link_libraries(skyvox_authoring PUBLIC skyvox_session)

add_library(skyvox_atc
  src/atc/airport_dialogue.cpp
  src/atc/atc_cycle.cpp
  src/atc/ground.cpp
  src/atc/menus.cpp
  src/atc/place_index.cpp
  src/atc/selection.cpp
  src/atc/taxi.cpp
  src/atc/tower.cpp
  src/radar/radar_control.cpp
  src/radar/radar_index.cpp
  src/radar/traffic.cpp)
target_link_libraries(skyvox_atc PUBLIC skyvox_session)

add_library(skyvox_app
  src/app/config_file.cpp
  src/app/connection.cpp
  src/app/corrected_mode_file.cpp
  src/app/data_folder.cpp
  src/app/drives.cpp
  src/app/input_boxes.cpp
  src/app/message_boxes.cpp
  src/app/settings.cpp
  src/app/sim_folder.cpp
  src/app/startup.cpp
  src/app/station.cpp
  src/app/station_monitor.cpp)
target_link_libraries(skyvox_app PUBLIC skyvox_atc PRIVATE skyvox_platform)
