# The two commands of the README: `make demo` and `make test`. Both install what is missing.
BUILD ?= build
ASAN_BUILD ?= build-asan
CMAKE_FLAGS ?= -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
WIN64 ?= build-win64
WIN32 ?= build-win32
# The emulated ARM device: the platform and durvo-today for armhf, run under qemu-arm.
ARM_BUILD ?= build-arm

.PHONY: all deps configure build test demo sanitize fuzz bench windows wine-test setup-wine-test install-folders-test clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DDURVO_ARM_DEVICE=$(abspath $(ARM_BUILD))/host/durvo-today

configure: deps $(BUILD)/build.ninja

# The ARM device after the native build: it uses the native build's packages.
build: configure
	cmake --build $(BUILD)
	[ -f $(ARM_BUILD)/build.ninja ] || cmake -S . -B $(ARM_BUILD) $(CMAKE_FLAGS) \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/armhf-linux.cmake -DDURVO_NATIVE_BUILD=$(abspath $(BUILD))
	cmake --build $(ARM_BUILD)

test: build
	ctest --test-dir $(ARM_BUILD) --output-on-failure -j2
	ctest --test-dir $(BUILD) --output-on-failure -j2

demo: build
	scripts/demo $(BUILD) $(ARM_BUILD)

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer. Its `--processor arm`
# runs go to the ARM device of the plain build; the differential test runs in `make test`.
sanitize: build
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug -DDURVO_SANITIZE=ON -DDURVO_ARM_TESTS=OFF
	cmake --build $(ASAN_BUILD)
	ASAN_OPTIONS=detect_leaks=1 ctest --test-dir $(ASAN_BUILD) --output-on-failure -j2

fuzz: deps
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DDURVO_FUZZ=ON
	cmake --build build-fuzz --target fuzzers
	scripts/run-fuzz build-fuzz

bench: build
	scripts/run-bench $(BUILD)

# The Windows builds (mingw-w64, 64 and 32 bit): Durvo.dll, the Win32 Today host, the platform
# conformance tests, DurvoSetup.exe with the package that the Linux build's durvo-package writes.
$(WIN64)/build.ninja: | deps
	cmake -S . -B $(WIN64) $(CMAKE_FLAGS) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
	  -DDURVO_TODAY=$(abspath $(BUILD))/host/durvo-today
$(WIN32)/build.ninja: | deps
	cmake -S . -B $(WIN32) $(CMAKE_FLAGS) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
	  -DDURVO_TODAY=$(abspath $(BUILD))/host/durvo-today

windows: build $(WIN64)/build.ninja $(WIN32)/build.ninja
	cmake --build $(WIN64)
	cmake --build $(WIN32)

# Runs them under Wine (the seed store comes from the Linux build's durvo-today); the pictures
# of the Today host land in out/wine/.
wine-test: build windows
	scripts/wine-test $(WIN64) $(WIN32)
	mkdir -p out/wine
	cp $(WIN64)/today-x86_64*.png $(WIN32)/today-i686*.png out/wine/

# Only the real DurvoSetup.exe under Wine (wine-test runs it too); pictures in $(WIN64)/wine-setup/.
setup-wine-test: build $(WIN64)/build.ninja
	cmake --build $(WIN64) --target DurvoSetup ceappmgr-standin
	ctest --test-dir $(WIN64) -R WineSetup --output-on-failure

# The install-folder table alone (wine-test runs it too): each folder on the emulated desktop and
# under Wine; the table is printed and kept in $(WIN64)/install-folders/.
install-folders-test: build $(WIN64)/build.ninja
	cmake --build $(WIN64) --target DurvoSetup ceappmgr-standin
	ctest --test-dir $(WIN64) -R InstallFolders --output-on-failure
	cat $(WIN64)/install-folders/install-folders.txt

clean:
	rm -rf $(BUILD) $(ARM_BUILD) $(ASAN_BUILD) build-fuzz $(WIN64) $(WIN32) out
