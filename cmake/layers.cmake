# One library per subsystem, each reachable only through what it links. A library's
# include root holds a link to its own folder and nothing else, so including a header
# of a library one does not link fails to compile: the layering is the build's, not a
# convention. Headers are included as "folder/name.h" everywhere.
function(kestrava_include_root target folder)
  set(root ${PROJECT_BINARY_DIR}/include_roots/${folder})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
  target_include_directories(${target} PUBLIC ${root})
endfunction()

function(kestrava_library target folder)
  add_library(${target} STATIC ${ARGN})
  kestrava_include_root(${target} ${folder})
endfunction()
