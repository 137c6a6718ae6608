#!/usr/bin/env bash
# Rebuilds, for the i486, the parts of the C and C++ runtime that GCC links into a static 32-bit
# program: MinGW-w64's start-up code and libraries (crt2.o, libmingw32, the objects of libmingwex
# that the program links, libmoldname, libcrtdll, the rand_s object of libmsvcrt) and GCC's libgcc, libgcc_eh, libsupc++ and libstdc++
# with crtbegin.o and crtend.o. Debian builds them for its compiler's default, the Pentium Pro, whose
# cmov and fcomi a Pentium, a 486 or a K6 stops at.
#
# The sources are Debian's own, of the versions installed: GCC's from the gcc-12-source package,
# MinGW-w64's from the mingw-w64 source package, fetched with apt-get into this folder. Everything is
# compiled by the installed cross compilers with -march=i486; libstdc++ must come out configured
# exactly as the installed one, whose headers the program is compiled with.
#
#   i486-runtime.sh OUT-FOLDER GCC-SOURCE-TARBALL C-COMPILER C++-COMPILER
#
# The libraries and objects land in OUT-FOLDER, the logs in OUT-FOLDER/logs; OUT-FOLDER/stamp is
# written last. Takes a few minutes and a few hundred MB of room while it runs.
set -euo pipefail
out=$1 gcc_tarball=$2 cc=$3 cxx=$4
triplet=$("$cc" -dumpmachine)
march=-march=i486
flags="-O2 $march"
work=$out/work
logs=$out/logs
jobs=$(nproc)

rm -rf "$work" "$logs" "$out/stamp"
mkdir -p "$work" "$logs"

# Runs a step in a subshell that stops at its first failure, with its output in a log; on failure
# shows the end of the log. (A function tested by if or || would not stop at a failure.)
step() {
    local name=$1 status start=$SECONDS
    shift
    set +e
    (set -e; "$@") >"$logs/$name.log" 2>&1
    status=$?
    set -e
    if [ $status -ne 0 ]; then
        echo "i486 runtime: $name failed; the end of $logs/$name.log:" >&2
        tail -n 30 "$logs/$name.log" >&2
    else
        echo "i486 runtime: $name took $((SECONDS - start)) s"
    fi
    return $status
}

tools=(AR="$triplet-ar" RANLIB="$triplet-ranlib" NM="$triplet-nm" AS="$triplet-as")

# ---- MinGW-w64: the source package of the installed headers and libraries ----
fetch_mingw() {
    local version codename apt=$work/apt
    version=$(dpkg-query -W -f='${Version}' "mingw-w64-${triplet%%-*}-dev")
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$work/mingw"
    # A private list of Debian's source indexes: the system's own lists and settings stay as they are.
    cat >"$apt/sources.list" <<EOF
deb-src http://deb.debian.org/debian $codename main
deb-src http://deb.debian.org/debian $codename-updates main
deb-src http://deb.debian.org/debian-security $codename-security main
EOF
    local options=(-q -o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts=/nonexistent
        -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache")
    # As root, apt would hand the download to its own user, who cannot write here.
    [ "$(id -u)" -ne 0 ] || options+=(-o APT::Sandbox::User=root)
    apt-get "${options[@]}" update
    (cd "$work/mingw" && apt-get "${options[@]}" source --download-only "mingw-w64=$version")
    tar -xjf "$work"/mingw/mingw-w64_*.orig.tar.bz2 -C "$work/mingw"
}

build_mingw() {
    local source build=$work/mingw/build
    source=$(echo "$work"/mingw/mingw-w64-v*/mingw-w64-crt)
    mkdir -p "$build/lib32"
    (cd "$build" && "$source/configure" --host="$triplet" --prefix="/usr/$triplet" --disable-lib64 \
        --enable-lib32 CC="$cc" CFLAGS="$flags" "${tools[@]}")
    # Of msvcrt.dll's import library the program links one object alone, built alone: rand_s, which
    # looks up its functions at run time and imports nothing.
    local rand_s=secapi/lib32_libmsvcrt_extra_a-rand_s.o
    # Of libmingwex, MinGW-w64's own C functions (some 400 objects), only what the program links is
    # built, as the link map of tarvale.exe names it: the printf and scanf family that C++11 selects
    # (__USE_MINGW_ANSI_STDIO) with the number conversions they use, and a few math and string
    # functions. Where the program comes to need another, its 32-bit link fails with an undefined
    # reference to it: add the object's name here.
    local mingwex=(atan2 cossin dmisc floor gdtoa gethex gmisc hd_init hexnan mingw_matherr mingw_pformat
        mingw_vfscanf mingw_vsnprintf mingw_vsprintf misc smisc sqrt strnlen strtodg strtof strtoimax strtopx
        strtoumax sum wcsnlen)
    local objects=() name found
    for name in "${mingwex[@]}"; do
        # A name may stand for two objects (strtof is in gdtoa/ and stdio/): the library holds both.
        found=$(grep -o "[A-Za-z0-9_/.-]*/lib32_libmingwex_a-$name\.\$(OBJEXT)" "$build/Makefile" | sort -u |
            sed 's/\$(OBJEXT)$/o/')
        [ -n "$found" ] || { echo "libmingwex has no object $name"; return 1; }
        objects+=($found)
    done
    make -C "$build" -j"$jobs" lib32/crt2.o lib32/libmingw32.a lib32/libmoldname.a lib32/libcrtdll.a \
        "$rand_s" "${objects[@]}"
    cp "$build"/lib32/{crt2.o,libmingw32.a,libmoldname.a,libcrtdll.a} "$out/"
    cp "$build/$rand_s" "$out/rand_s.o"
    rm -f "$out/libmingwex.a"
    (cd "$build" && "$triplet-ar" qcs "$out/libmingwex.a" "${objects[@]}")
}

# ---- GCC: the target libraries, compiled by the installed compiler ----
gcc_source=$work/gcc-source
extract_gcc() {
    mkdir -p "$gcc_source"
    # The compilers' own front ends, test suites and other languages' libraries are not needed.
    tar -xJf "$gcc_tarball" -C "$gcc_source" --strip-components=1 --exclude='*/gcc/testsuite' \
        --exclude='*/libgo' --exclude='*/libphobos' --exclude='*/libgfortran' --exclude='*/libsanitizer' \
        --exclude='*/libgomp' --exclude='*/gcc/ada' --exclude='*/gcc/fortran' --exclude='*/gcc/go/gofrontend' \
        --exclude='*/gcc/d/dmd'
    # Debian's compiler names its version "12-win32"; its libstdc++ carries GCC's date stamp.
    local stamp installed
    stamp=$(cat "$gcc_source/gcc/DATESTAMP")
    installed=$(sed -n 's/^#define __GLIBCXX__ //p' "$("$cxx" -print-file-name=include/c++)/$triplet/bits/c++config.h")
    if [ "$stamp" != "$installed" ]; then
        echo "GCC's source is of $stamp, the installed compiler's libraries of $installed"
        return 1
    fi
}

# libgcc takes its target description from a configured gcc folder: its generated headers (tm.h and
# what it includes) and libgcc.mvars. The compiler itself is not built.
build_libgcc() {
    local objdir=$work/gcc-build
    mkdir -p "$objdir/gcc" "$objdir/$triplet/libgcc"
    (cd "$objdir/gcc" && "$gcc_source/gcc/configure" --target="$triplet" --prefix=/usr --enable-threads=win32 \
        --disable-sjlj-exceptions --with-dwarf2 --disable-multilib --enable-languages=c,c++ \
        --disable-shared --enable-static --with-as="/usr/bin/$triplet-as" --with-ld="/usr/bin/$triplet-ld")
    # The generators of those headers link the build machine's libiberty, which the gcc folder
    # expects beside itself.
    local iberty
    iberty=$objdir/$(sed -n 's/^build_libsubdir=//p' "$objdir/gcc/Makefile")/libiberty
    mkdir -p "$iberty"
    (cd "$iberty" && "$gcc_source/libiberty/configure" && make -j"$jobs")
    make -C "$objdir/gcc" -j"$jobs" tconfig.h tm.h options.h insn-constants.h insn-flags.h insn-modes.h
    mkdir -p "$objdir/gcc/include"
    # What the gcc folder would write once its compiler is built, with the C library's headers
    # present, as they are (Debian's compiler was configured --with-headers).
    cat >"$objdir/gcc/libgcc.mvars" <<EOF
GCC_CFLAGS = -DIN_GCC -DCROSS_DIRECTORY_STRUCTURE -W -Wall -Wno-narrowing -Wwrite-strings -Wcast-qual -Wstrict-prototypes -Wmissing-prototypes -Wold-style-definition
INHIBIT_LIBC_CFLAGS =
TARGET_SYSTEM_ROOT =
NO_PIE_CFLAGS =
EOF
    (cd "$objdir/$triplet/libgcc" && "$gcc_source/libgcc/configure" --host="$triplet" --target="$triplet" \
        --prefix=/usr --disable-shared CC="$cc" CFLAGS="$flags" "${tools[@]}")
    make -C "$objdir/$triplet/libgcc" -j"$jobs"
    local libgcc=$objdir/$triplet/libgcc unwinder=(unwind-dw2.o unwind-dw2-fde.o unwind-sjlj.o unwind-c.o emutls.o)
    cp "$libgcc"/{crtbegin.o,crtend.o,libgcc.a} "$out/"
    # Built without a shared libgcc, the unwinder is in libgcc.a; Debian's compiler links it from
    # libgcc_eh.a, as -static asks for.
    "$triplet-ar" d "$out/libgcc.a" "${unwinder[@]}"
    (cd "$libgcc" && "$triplet-ar" rcs "$out/libgcc_eh.a" "${unwinder[@]}")
}

build_libstdcxx() {
    local build=$work/libstdc++
    mkdir -p "$build"
    # The installed compiler's configuration: fully dynamic strings, Win32 threads, symbol versions
    # as its shared library has them. Without -nostdinc++ the checks would see the installed C++
    # headers instead of the C library's. std::random_device asks the processor for rdrand and
    # rdseed where it has them; without them it uses the C runtime's rand_s, and the library holds
    # no instruction an i486 lacks.
    (cd "$build" && "$gcc_source/libstdc++-v3/configure" --host="$triplet" --target="$triplet" \
        --disable-multilib --enable-fully-dynamic-string --enable-libstdcxx-time=yes \
        --enable-libstdcxx-filesystem-ts=yes --disable-shared --enable-static --disable-libstdcxx-pch \
        --disable-nls --enable-symvers=gnu --with-cross-host="$(uname -m)-linux-gnu" \
        CC="$cc" CXX="$cxx -nostdinc++" CFLAGS="$flags" CXXFLAGS="$flags" "${tools[@]}" \
        ac_cv_x86_rdrand=no ac_cv_x86_rdseed=no)
    local ours=$build/include/$triplet/bits/c++config.h installed
    installed=$("$cxx" -print-file-name=include/c++)/$triplet/bits/c++config.h
    if ! diff <(grep -v '_GLIBCXX_X86_RD' "$installed") <(grep -v '_GLIBCXX_X86_RD' "$ours"); then
        echo "libstdc++ is configured otherwise than the installed one ($installed)"
        return 1
    fi
    make -C "$build" -j"$jobs"
    cp "$build/src/.libs/libstdc++.a" "$build/libsupc++/.libs/libsupc++.a" "$out/"
}

# MinGW-w64's part runs beside GCC's; libgcc and libstdc++ need each other's nothing.
trap 'kill $(jobs -p) 2>/dev/null || true' EXIT
step fetch-mingw fetch_mingw
step mingw build_mingw &
mingw=$!
step extract-gcc extract_gcc
step libgcc build_libgcc &
libgcc=$!
step libstdc++ build_libstdcxx
wait $libgcc
wait $mingw

rm -rf "$work"
date >"$out/stamp"
