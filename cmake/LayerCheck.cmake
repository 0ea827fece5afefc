# A layer may use only the layers below it. A static library does not show a call that runs
# upwards until some program happens to link it, and then it may link anyway, when a program
# links the upper layer too. So each layer is linked here, whole, into an empty program with
# only what its target_link_libraries declares: a call into a layer it does not declare fails
# this link.
foreach(layer model text platform net session app gui)
    add_executable(layer_check_${layer} ${CMAKE_CURRENT_LIST_DIR}/LayerCheck.cpp)
    target_link_libraries(layer_check_${layer} PRIVATE
        "$<LINK_LIBRARY:WHOLE_ARCHIVE,lumivex_${layer}>")
    set_target_properties(layer_check_${layer} PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/layer-check)
endforeach()
