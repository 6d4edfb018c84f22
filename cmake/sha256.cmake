# Writes FILE's SHA-256 beside it, as FILE.sha256 in the form that sha256sum -c reads.
file(SHA256 "${FILE}" hash)
get_filename_component(name "${FILE}" NAME)
file(WRITE "${FILE}.sha256" "${hash}  ${name}\n")
