# Writes the package into DIST: the FILES given, and SHA256SUMS with the
# SHA-256 of each in the format of sha256sum (`sha256sum -c SHA256SUMS` in
# DIST verifies them). DIST is the package alone: whatever an earlier build
# left there goes.
file(REMOVE_RECURSE ${DIST})
file(MAKE_DIRECTORY ${DIST})
set(names "")
foreach(file IN LISTS FILES)
  get_filename_component(name ${file} NAME)
  file(COPY_FILE ${file} ${DIST}/${name})
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
