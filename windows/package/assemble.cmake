# Writes the package into DIST: each of the FILES, given as PATH|SOURCE (PATH
# its place in the package, SOURCE where it is built), and SHA256SUMS with
# the SHA-256 of each in the format of sha256sum, by its path in the package
# (`sha256sum -c SHA256SUMS` in DIST verifies them). DIST is the package
# alone: whatever an earlier build left there goes.
file(REMOVE_RECURSE ${DIST})
file(MAKE_DIRECTORY ${DIST})
set(names "")
foreach(entry IN LISTS FILES)
  string(REPLACE "|" ";" pair "${entry}")
  list(GET pair 0 name)
  list(GET pair 1 source)
  if(NOT EXISTS ${source})
    message(FATAL_ERROR "${name} of the package is not built: ${source}")
  endif()
  get_filename_component(folder ${DIST}/${name} DIRECTORY)
  file(MAKE_DIRECTORY ${folder})
  file(COPY_FILE ${source} ${DIST}/${name})
  list(APPEND names ${name})
endforeach()
list(SORT names)
set(sums "")
foreach(name IN LISTS names)
  file(SHA256 ${DIST}/${name} digest)
  string(APPEND sums "${digest}  ${name}\n")
endforeach()
file(WRITE ${DIST}/SHA256SUMS "${sums}")
message(STATUS "${DIST}:\n${sums}")
