# Copies the DLL into DIST beside its SHA-256, in the format of sha256sum.
get_filename_component(name ${DLL} NAME)
file(MAKE_DIRECTORY ${DIST})
file(COPY_FILE ${DLL} ${DIST}/${name})
file(SHA256 ${DIST}/${name} digest)
file(WRITE ${DIST}/${name}.sha256 "${digest}  ${name}\n")
message(STATUS "${DIST}/${name}: ${digest}")
