# make test   installs what is missing, builds, runs every test (plain, ASan+UBSan with the
#             fuzzers, ThreadSanitizer for the threaded parts)
# make demo   builds, makes the demo CD and starts its menu
# make bench  builds and runs the benchmarks
# make fuzz   runs every fuzz target for FUZZ_SECONDS (default 600) each
# make package  builds the Debian package
# make mutate  measures the tests by the small faults they catch
# make windows     cross-builds the Windows programs into build/windows (MinGW-w64)
# make cd-image    makes the demo CD's disc image, build/democd.iso (Windows and Linux programs)
# make web         the demo CD in a web page, build/web (WebAssembly, Debian's emscripten)
# make web-serve   serves build/web on http://127.0.0.1:$(WEB_PORT)/ with the headers it needs
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 600
WEB_PORT ?= 8080
# Debian's emscripten finds the JavaScript parser it needs only through NODE_PATH.
EMENV := NODE_PATH=/usr/share/nodejs
CI_FUZZ_SECONDS ?= 30
GEN := -G Ninja
# ccache, where the machine has it, lets the three builds and later runs share compiled objects.
GEN += $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

.PHONY: all deps build windows cd-image demo test test-plain test-asan test-tsan bench fuzz format \
        tidy clean install package mutate web web-serve test-web

all: build

deps:
	@bash deps/install.sh

build: deps
	cmake -S . -B build/release $(GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DWINDOWS_DIR=$(CURDIR)/build/windows -DDISC_IMAGE=$(CURDIR)/build/democd.iso
	cmake --build build/release -j $(JOBS)

# The Windows programs: filmo.exe, runner.exe and the demo's stand-ins, tested under Wine by
# the plain build's tests.
windows: deps
	cmake -S . -B build/windows $(GEN) -DCMAKE_BUILD_TYPE=MinSizeRel \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake
	cmake --build build/windows -j $(JOBS)

cd-image: build windows
	cmake --build build/release --target cd-image

demo: build
	@bash apps/democd/demo.sh build/release

# The page: the menu and the player as WebAssembly over the web backend, with the demo CD that
# the native build made (its picture, readme and trailer).
web: build
	$(EMENV) emcmake cmake -S . -B build/web-obj $(GEN) -DCMAKE_BUILD_TYPE=Release \
	  -DWEB_DIR=$(CURDIR)/build/web -DDEMOCD_DIR=$(CURDIR)/build/release/democd
	$(EMENV) cmake --build build/web-obj -j $(JOBS)

web-serve: web
	python3 apps/web/serve.py build/web --port $(WEB_PORT)

# The page in headless Chromium (screenshots in build/web-screens).
test-web: web
	/usr/bin/python3 tests/web/web_test.py build/web build/release/tools/movtool/movtool \
	  --screens build/web-screens

test-plain: build windows cd-image
	ctest --test-dir build/release --output-on-failure -j $(JOBS) -LE fuzz

test-asan: deps
	cmake -S . -B build/asan $(GEN) -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=asan \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DWITH_BENCH=OFF \
	  -DFUZZ_SECONDS=$(CI_FUZZ_SECONDS)
	cmake --build build/asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build/asan --output-on-failure -j $(JOBS)

test-tsan: deps
	cmake -S . -B build/tsan $(GEN) -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=tsan \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DWITH_BENCH=OFF \
	  -DWITH_QT=OFF
	cmake --build build/tsan -j $(JOBS)
	TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build/tsan --output-on-failure -j $(JOBS) -L threads

test: test-plain test-web test-tsan test-asan

bench: build web
	@for b in build/release/bench/bench_*; do [ -x "$$b" ] && "$$b" || exit 1; done
	/usr/bin/python3 bench/web/web_bench.py build/web build/web-obj/bench/web/decode_speed.js \
	  build/release

fuzz: deps
	cmake -S . -B build/asan $(GEN) -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=asan \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DWITH_BENCH=OFF \
	  -DFUZZ_SECONDS=$(FUZZ_SECONDS)
	cmake --build build/asan -j $(JOBS)
	ctest --test-dir build/asan --output-on-failure -L fuzz --timeout $$(( $(FUZZ_SECONDS) + 120 ))

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

tidy: build
	git ls-files '*.cpp' | grep -v -E '^(fuzz|bench)/' | xargs clang-tidy -p build/release --quiet

# make install [DESTDIR=/staging] [PREFIX=/usr]: the programs, their manual pages, desktop
# entries and icons, in the standard directories under PREFIX (default /usr/local).
install: build
	DESTDIR="$(DESTDIR)" cmake --install build/release $(if $(PREFIX),--prefix "$(PREFIX)")

# make package: build/release/package/democd_*.deb, a Debian package of what `make install` installs
# under /usr (CPack's DEB generator; dependencies from dpkg-shlibdeps).
package: build
	cmake --build build/release --target package

# make mutate: puts small faults into the code one at a time (tests/mutate/faults.txt) and
# reports which the unit and integration tests catch. Slow (an incremental build and a test run
# per fault, in build/mutate): not part of make test.
mutate: deps
	python3 tests/mutate/mutate.py --jobs $(JOBS)

clean:
	rm -rf build
