# make test   installs what is missing, builds, runs every test (plain, ASan+UBSan with the
#             fuzzers, ThreadSanitizer for the threaded parts, the style checks)
#
# Each build is a preset of CMakePresets.json (cmake --preset NAME, build/NAME), every warning
# an error in each.
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
# ccache, where the machine has it, lets the builds and later runs share compiled objects.
LAUNCHER := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

.PHONY: all deps build windows cd-image demo test test-plain test-asan test-tsan bench fuzz format \
        tidy clean install package mutate web web-serve test-web

all: build

deps:
	@bash deps/install.sh

build: deps
	cmake --preset release $(LAUNCHER)
	cmake --build --preset release -j $(JOBS)

# The Windows programs: filmo.exe, runner.exe and the demo's stand-ins, tested under Wine by
# the plain build's tests.
windows: deps
	cmake --preset windows $(LAUNCHER)
	cmake --build --preset windows -j $(JOBS)

cd-image: build windows
	cmake --build --preset release --target cd-image

demo: build
	@bash apps/democd/demo.sh build/release

# The page: the menu and the player as WebAssembly over the web backend, with the demo CD that
# the native build made (its picture, readme and trailer).
web: build
	$(EMENV) emcmake cmake --preset web $(LAUNCHER)
	$(EMENV) cmake --build --preset web -j $(JOBS)

web-serve: web
	python3 apps/web/serve.py build/web --port $(WEB_PORT)

# The page in headless Chromium (screenshots in build/web-screens).
test-web: web
	/usr/bin/python3 tests/web/web_test.py build/web build/release/tools/movtool/movtool \
	  --screens build/web-screens

# The plain build's tests include the style checks (label style): the tree as clang-format
# writes it, clang-tidy over the files the change touches (TIDY_BASE=REF: the change since REF).
test-plain: build windows cd-image
	ctest --preset release -j $(JOBS)

test-asan: deps
	cmake --preset asan $(LAUNCHER) -DFUZZ_SECONDS=$(CI_FUZZ_SECONDS)
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

test-tsan: deps
	cmake --preset tsan $(LAUNCHER)
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan -j $(JOBS)

test: test-plain test-web test-tsan test-asan

bench: build web
	@for b in build/release/bench/bench_*; do [ -x "$$b" ] && "$$b" || exit 1; done
	/usr/bin/python3 bench/web/web_bench.py build/web build/web-obj/bench/web/decode_speed.js \
	  build/release

fuzz: deps
	cmake --preset asan $(LAUNCHER) -DFUZZ_SECONDS=$(FUZZ_SECONDS)
	cmake --build --preset asan -j $(JOBS)
	ctest --preset fuzz --timeout $$(( $(FUZZ_SECONDS) + 120 ))

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

# make tidy: clang-tidy over every file of the plain build (make test checks the changed ones).
tidy: build
	python3 tests/style/tidy.py . build/release --all --jobs $(JOBS)

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
