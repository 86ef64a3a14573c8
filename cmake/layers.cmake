# lister's layers, each a library of its own that links only the layers
# below it. A layer's headers are found only through include folders of
# its own (links to the headers, made at configure time), which a target
# gets for its own layer and those it links: an include that runs up a
# layer, or reaches a header private to another, does not build.
#
#   lister_layer_headers(target PUBLIC header... PRIVATE header...)
#
# PUBLIC headers are the layer's to the layers above; PRIVATE ones its own
# sources' alone. Paths are from the project's root, as the includes write them.
function(lister_layer_headers target)
  cmake_parse_arguments(arg "" "" "PUBLIC;PRIVATE" ${ARGN})
  get_target_property(type ${target} TYPE)
  foreach(scope PUBLIC PRIVATE)
    if(NOT arg_${scope})
      continue()
    endif()
    set(view ${PROJECT_BINARY_DIR}/layers/${target}/${scope})
    file(REMOVE_RECURSE ${view})  # no link left from an earlier list
    foreach(header ${arg_${scope}})
      get_filename_component(folder ${view}/${header} DIRECTORY)
      file(MAKE_DIRECTORY ${folder})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${header} ${view}/${header} SYMBOLIC)
    endforeach()
    if(type STREQUAL "INTERFACE_LIBRARY")
      target_include_directories(${target} INTERFACE ${view})
    else()
      target_include_directories(${target} ${scope} ${view})
    endif()
  endforeach()
endfunction()
