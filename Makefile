# Front door: every target installs the Debian packages its purpose needs (scripts/deps.sh),
# configures and builds as needed.
BUILD   ?= build
CMAKE_FLAGS ?=
ARGS    ?=
FUZZ_SECONDS ?= 60
# What deps.sh installs, and whether the tests and benchmarks are configured; the targets below
# set their own.
PURPOSES ?= build
TESTING ?= OFF

.PHONY: all deps configure build run deb test bench soak mutants sanitize fuzz format clean

all: build

deps:
	@scripts/deps.sh $(PURPOSES)

# Every time: the tests are configured only for the targets that need their tools, and a tool
# installed since is found.
configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DBUILD_TESTING=$(TESTING) --log-level=WARNING $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD)

# The agent with its embedded relay, on a private X display when there is none; ARGS passes
# options, e.g. make run ARGS="--listen :9000".
run: PURPOSES = build run
run: build
	@scripts/run.sh $(BUILD)/zephyrglint $(ARGS)

# A Debian package of the programs, the app-menu entry, the icon and the manual pages:
# $(BUILD)/zephyrglint_<version>_<architecture>.deb, for apt install.
deb: PURPOSES = build package
deb: build
	cmake --build $(BUILD) --target package

test: PURPOSES = build test
test: TESTING = ON
test: build
	@scripts/node-deps.sh
	ctest --test-dir $(BUILD) --output-on-failure

bench: PURPOSES = build test bench
bench: TESTING = ON
bench: build
	@scripts/node-deps.sh
	cmake --build $(BUILD) --target bench

# The agent for SOAK_MINUTES (30 by default) with three phones on a private Xvfb: its memory,
# descriptors and frames over time, e.g. make soak SOAK_MINUTES=2. Not part of bench or test.
soak: PURPOSES = build test bench
soak: TESTING = ON
soak: build
	@scripts/node-deps.sh
	cmake --build $(BUILD) --target soak

# What the tests catch: plants each fault of scripts/mutants.txt in a scratch copy of the tree
# and runs the suite on it; ARGS passes options, e.g. make mutants ARGS="--only relay".
mutants: PURPOSES = build test
mutants: TESTING = ON
mutants: build
	@scripts/node-deps.sh
	python3 scripts/mutants.py $(ARGS)

# Every test again under AddressSanitizer and UndefinedBehaviorSanitizer; leaks inside system
# libraries are suppressed (tests/lsan-suppressions.txt), ours are not.
sanitize:
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan-suppressions.txt \
	    $(MAKE) test BUILD=build-sanitize CMAKE_FLAGS="-DZG_SANITIZE=ON -DZG_WERROR=ON"

# Each fuzz target of fuzz/ for FUZZ_SECONDS with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, built by clang in build-fuzz; a finding fails and names the input
# that reproduces it (scripts/fuzz.sh).
fuzz: PURPOSES = build fuzz
fuzz: BUILD = build-fuzz
fuzz: CMAKE_FLAGS = -DCMAKE_CXX_COMPILER=clang++-14 -DZG_FUZZ=ON -DZG_WERROR=ON
fuzz: configure
	cmake --build $(BUILD) --target fuzzers
	@scripts/fuzz.sh $(BUILD) $(FUZZ_SECONDS)

format:
	@scripts/apt-install.sh clang-format
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-sanitize build-fuzz
