# Signed self-updates: the maker's host and public key, libcrypto for SHA-256/Ed25519/BLAKE2b, libarchive to
# unpack releases; the release tool and the maker's web service.
set(QUILLBAY_UPDATE_HOST "quillbay.app" CACHE STRING
    "Host (and optional :port) of the maker's web service that serves version.json and the downloads")
set(QUILLBAY_UPDATE_PUBKEY "RWTm0Ja46SZvIPXo8K7pKDJMmro4F/Ty3dhRPJQZYF+26oaiBbbq8DRS" CACHE STRING
    "The minisign public key (base64 line) that every release must be signed with")

find_package(OpenSSL 3 REQUIRED COMPONENTS Crypto SSL)
pkg_check_modules(UPD_ARCHIVE REQUIRED IMPORTED_TARGET libarchive)
pkg_check_modules(UPD_HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
pkg_check_modules(UPD_SQLITE REQUIRED IMPORTED_TARGET sqlite3)

# libcrypto and libarchive are opened when the first hash, signature check or unpacking starts
# (src/services/Libcrypto.cpp, Libarchive.cpp), so an idle program maps neither: only their headers are
# needed here. The release tool packs with libarchive itself and links it.
target_include_directories(quillbay_core PUBLIC ${OPENSSL_INCLUDE_DIR} ${UPD_ARCHIVE_INCLUDE_DIRS})
set_property(SOURCE src/services/UpdateConfig.cpp APPEND PROPERTY COMPILE_DEFINITIONS
  QUILLBAY_UPDATE_HOST="${QUILLBAY_UPDATE_HOST}" QUILLBAY_UPDATE_PUBKEY="${QUILLBAY_UPDATE_PUBKEY}")
set_property(SOURCE src/services/TelemetryService.cpp APPEND PROPERTY COMPILE_DEFINITIONS
  QUILLBAY_UPDATE_HOST="${QUILLBAY_UPDATE_HOST}")

# quillbay-release: packs, signs and describes a release.
add_library(quillbay_release STATIC tools/release/Release.cpp tools/release/Release.h)
target_include_directories(quillbay_release PUBLIC tools/release)
target_link_libraries(quillbay_release PUBLIC quillbay_core PkgConfig::UPD_ARCHIVE)
add_executable(quillbay-release tools/release/main.cpp)
target_link_libraries(quillbay-release PRIVATE quillbay_release)

# The unpacking benchmark packs its archives with libarchive itself.
if(TARGET bench_UpdateUnpack)
  target_link_libraries(bench_UpdateUnpack PRIVATE PkgConfig::UPD_ARCHIVE)
endif()

# quillbay-web: the maker's web service (version manifest, downloads, privacy page, usage reports).
add_library(quillbay_web STATIC server/WebService.cpp server/WebService.h server/ReportStore.cpp
  server/RequestReader.cpp server/RequestReader.h
  server/ReportStore.h server/GuardedServer.cpp server/GuardedServer.h server/FileStreamer.cpp
  server/FileStreamer.h server/ConnectionBudget.cpp server/ConnectionBudget.h
  server/HttpAnswer.cpp server/HttpAnswer.h server/LibraryRequest.cpp server/LibraryRequest.h
  server/LoopMailbox.cpp server/LoopMailbox.h server/RouteWorkers.cpp server/RouteWorkers.h
  server/ServerLoop.cpp server/ServerLoop.h server/TlsConnection.cpp server/TlsConnection.h)
target_include_directories(quillbay_web PUBLIC server)
target_link_libraries(quillbay_web PUBLIC Qt6::Core PkgConfig::UPD_HTTPLIB PkgConfig::UPD_SQLITE OpenSSL::SSL)
add_executable(quillbay-web server/main.cpp)
target_link_libraries(quillbay-web PRIVATE quillbay_web)

# quillbay-swap: the helper that swaps the install folders once the program has quit. It links no Qt, so it
# loads nothing from the folders it renames.
add_executable(quillbay-swap tools/swap/main.cpp src/platform/FolderSwap.cpp src/platform/FolderSwap.h)
target_include_directories(quillbay-swap PRIVATE src)
set_target_properties(quillbay-swap PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)

# Tests stop the helper at each of its steps: a preloaded library that counts the calls that change the
# file system or start a program, and kills the process at the chosen one.
if("process" IN_LIST QUILLBAY_TEST_LAYERS)
  add_library(quillbay_step_killer SHARED tests/fakes/preload/StepKiller.cpp)
  set_target_properties(quillbay_step_killer PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
  target_link_libraries(quillbay_step_killer PRIVATE ${CMAKE_DL_LIBS})
endif()

foreach(t tst_UpdateSwap tst_UpdateEndToEnd)
  if(TARGET ${t})
    add_dependencies(${t} quillbay-swap)
    target_compile_definitions(${t} PRIVATE QUILLBAY_SWAP="$<TARGET_FILE:quillbay-swap>")
    if(TARGET quillbay_step_killer)
      add_dependencies(${t} quillbay_step_killer)
      target_compile_definitions(${t} PRIVATE QUILLBAY_STEP_KILLER="$<TARGET_FILE:quillbay_step_killer>")
    endif()
  endif()
endforeach()

foreach(t tst_UpdateCheck tst_WebService tst_RequestReader tst_FileStreamer tst_ConnectionBudget tst_ReportStore tst_UpdateInstall tst_Release tst_UpdateEndToEnd tst_UpdateSwap
    tst_SettingsUpdates tst_ServerPieces bench_WebService bench_UpdateDownload bench_RequestReading)
  if(TARGET ${t})
    add_dependencies(${t} quillbay-web quillbay-release)
    target_link_libraries(${t} PRIVATE quillbay_web quillbay_release)
    target_compile_definitions(${t} PRIVATE QUILLBAY_WEB="$<TARGET_FILE:quillbay-web>"
      QUILLBAY_RELEASE="$<TARGET_FILE:quillbay-release>")
  endif()
endforeach()

# The install form: one self-contained folder (bin/ holds the program and the modules it loads from beside
# itself) with the marker that lets an update replace it. `make install` puts it in ~/.local/opt/Quillbay.
file(WRITE ${CMAKE_BINARY_DIR}/quillbay-bundle-marker "${PROJECT_VERSION}\n")
install(TARGETS quillbay quillbay-swap RUNTIME DESTINATION bin)
# The web page module is defined by a part read after this one, so it is looked for at the end.
function(quillbay_install_modules)
  if(TARGET quillbay_webpage)
    # It links only system libraries: no run path to rewrite on install.
    set_target_properties(quillbay_webpage PROPERTIES INSTALL_RPATH "")
    install(TARGETS quillbay_webpage LIBRARY DESTINATION bin)
  endif()
endfunction()
cmake_language(DEFER CALL quillbay_install_modules)
install(FILES ${CMAKE_BINARY_DIR}/quillbay-bundle-marker DESTINATION . RENAME .quillbay-bundle)
