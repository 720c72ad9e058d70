# Sourced by the build scripts from the checkout's root: ccache as the compiler launcher when it is
# installed, with paths taken relative to the checkout, so that another clone of the same code (a CI
# run's fresh clone, say) finds what this one compiled. Sets the array `launcher` for cmake.
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
fi
