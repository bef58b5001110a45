# The two commands of the README: `make run` and `make test`.
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
# Extra CMake settings, e.g. CMAKE_FLAGS=-DSORVELIN_WERROR=ON as CI passes.
CMAKE_FLAGS ?=

.PHONY: deps configure build run test clean format

deps:
	@scripts/install-deps.sh

configure: deps
	@if [ ! -f $(BUILD)/build.ninja ] || [ -n "$(strip $(CMAKE_FLAGS) $(TEST_FLAGS))" ]; then \
		cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS) $(TEST_FLAGS); \
	fi

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The program alone: the edit-build cycle never waits for the sanitizer trees.
run: configure
	cmake --build $(BUILD) -j $(JOBS) --target sorvelin
	$(BUILD)/bin/sorvelin

# The whole suite, with the AddressSanitizer and ThreadSanitizer trees.
test: TEST_FLAGS = -DSORVELIN_SANITIZER_TESTS=ON
test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

format:
	find src tests bench fuzz -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
