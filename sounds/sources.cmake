# The sources of the two build-time generators, for this folder's project and
# for the host-only one in host/.
set(vocaret_soundgen_sources
    ${CMAKE_CURRENT_LIST_DIR}/soundgen.cpp
    ${CMAKE_CURRENT_LIST_DIR}/synth.cpp
    ${CMAKE_CURRENT_LIST_DIR}/recipes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/files.cpp)
set(vocaret_tour_sources
    ${CMAKE_CURRENT_LIST_DIR}/tour.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tour_script.cpp
    ${CMAKE_CURRENT_LIST_DIR}/synth.cpp
    ${CMAKE_CURRENT_LIST_DIR}/files.cpp)
