# Front door: every target installs what is missing, configures and builds as needed.
BUILD   ?= build
CMAKE_FLAGS ?=
ARGS    ?=

.PHONY: all deps build run test bench mutants sanitize format clean

all: build

deps:
	@scripts/deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD)

# The agent with its embedded relay, on a private X display when there is none; ARGS passes
# options, e.g. make run ARGS="--listen :9000".
run: build
	@scripts/run.sh $(BUILD)/zephyrglint $(ARGS)

test: build
	@scripts/node-deps.sh
	ctest --test-dir $(BUILD) --output-on-failure

# Configured again once bench-deps.sh has run: whether the scaler benchmark is built depends on
# what it installs.
bench: build
	@scripts/node-deps.sh
	@scripts/bench-deps.sh
	cmake -S . -B $(BUILD)
	cmake --build $(BUILD) --target bench

# What the tests catch: plants each fault of scripts/mutants.txt in a scratch copy of the tree
# and runs the suite on it; ARGS passes options, e.g. make mutants ARGS="--only relay".
mutants: build
	@scripts/node-deps.sh
	python3 scripts/mutants.py $(ARGS)

# Every test again under AddressSanitizer and UndefinedBehaviorSanitizer; leaks inside system
# libraries are suppressed (tests/lsan-suppressions.txt), ours are not.
sanitize:
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan-suppressions.txt \
	    $(MAKE) test BUILD=build-sanitize CMAKE_FLAGS="-DZG_SANITIZE=ON -DZG_WERROR=ON"

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-sanitize
