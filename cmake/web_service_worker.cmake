# Writes the browser build's service worker from its source, named after
# the build: the SHA-256 of every file the page is made of, so that any
# change to any of them is a new build for the browsers that keep it.
#
#   cmake -D source=service_worker.js -D folder=build-web -D "files=a;b" -P web_service_worker.cmake
set(contents "")
set(listed "")
foreach(file ${files})
  file(SHA256 "${folder}/${file}" hash)
  string(APPEND contents "${file} ${hash}\n")
  list(APPEND listed "'${file}'")
endforeach()
string(SHA256 build "${contents}")
string(SUBSTRING "${build}" 0 16 LISTER_BUILD)
list(JOIN listed ", " LISTER_FILES)
configure_file("${source}" "${folder}/service_worker.js" @ONLY)
