# The two commands of the README: `make demo` and `make test`. Both install what is missing.
BUILD ?= build
ASAN_BUILD ?= build-asan
WIN64_BUILD ?= build-win64
CMAKE_FLAGS ?= -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all deps configure build test demo sanitize fuzz bench windows setup-wine-test clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j2

demo: build
	scripts/demo $(BUILD)

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: deps
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug -DDURVO_SANITIZE=ON
	cmake --build $(ASAN_BUILD)
	ASAN_OPTIONS=detect_leaks=1 ctest --test-dir $(ASAN_BUILD) --output-on-failure -j2

fuzz: deps
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DDURVO_FUZZ=ON
	cmake --build build-fuzz --target fuzz_store_load fuzz_dialog_template fuzz_cabinet_install
	scripts/run-fuzz build-fuzz

bench: build
	scripts/run-bench $(BUILD)

# The Windows build (mingw-w64): Durvo.dll and DurvoSetup.exe with the package it carries, which
# the Linux build's durvo-package writes.
windows: build
	cmake -S . -B $(WIN64_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
	  -DDURVO_PACKAGE_TOOL=$(abspath $(BUILD))/setup/package/durvo-package
	cmake --build $(WIN64_BUILD) --target Durvo DurvoSetup ceappmgr-standin

# The real DurvoSetup.exe under Wine on a virtual display; pictures in $(WIN64_BUILD)/wine-setup/.
setup-wine-test: windows
	ctest --test-dir $(WIN64_BUILD) -R WineSetup --output-on-failure

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(WIN64_BUILD) build-fuzz out
