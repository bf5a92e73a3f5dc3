# Builds Kestrow-<VERSION>.msi and Kestrow-<VERSION>.zip (the exe and README.txt) in OUT_DIR:
#   cmake -DVERSION=2.4.0 -DEXE=.../Kestrow.exe -DOUT_DIR=... [-DMSI_ONLY=1] -P package.cmake
# The ProductCode follows from the version: one version is one product, and a newer version
# replaces it through the package's fixed UpgradeCode.
find_program(WIXL wixl REQUIRED)
set(source ${CMAKE_CURRENT_LIST_DIR}/..)
set(stage ${OUT_DIR}/package-${VERSION})
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${stage})
# wixl 0.101 finds its sources only by names relative to its working folder.
file(COPY ${EXE} ${source}/res/computer.ico DESTINATION ${stage})

# The README as Windows text, with CR LF line ends.
file(READ ${source}/README.md readme)
string(REPLACE "\r\n" "\n" readme "${readme}")
string(REPLACE "\n" "\r\n" readme "${readme}")
file(WRITE ${stage}/README.txt "${readme}")

string(UUID product_code NAMESPACE 6B8E2C1A-4F3D-4A7B-9E52-0C1D7A3F5B24 NAME "Kestrow ${VERSION}" TYPE SHA1 UPPER)
# wixl says "unimplemented" for every shortcut that is not advertised, which this one means not
# to be: its output is shown only when it fails.
execute_process(COMMAND ${WIXL} -a x64 -D Version=${VERSION} -D "ProductCode={${product_code}}"
        -D Exe=Kestrow.exe -D Readme=README.txt -D Icon=computer.ico
        -o ${OUT_DIR}/Kestrow-${VERSION}.msi ${source}/package/Kestrow.wxs
    WORKING_DIRECTORY ${stage} RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(failed)
    message(FATAL_ERROR "wixl failed:\n${out}")
endif()
if(MSI_ONLY)
    return()
endif()

file(REMOVE ${OUT_DIR}/Kestrow-${VERSION}.zip)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${OUT_DIR}/Kestrow-${VERSION}.zip --format=zip Kestrow.exe README.txt
    WORKING_DIRECTORY ${stage} RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "could not make the zip")
endif()
