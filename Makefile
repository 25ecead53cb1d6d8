# Set-up, build, run and test on a Debian 12 machine.
#   make run   install what is missing to build and run, build the three programs (not the
#              tests), put the sample meters in the group folders, start varnel against the
#              virtual box (kexbox)
#   make test  install what is missing, build, run every test
#   make bench build, then print the link's figures (silent-port Connect, echo round trips,
#              full EEPROM transfers through varnel-cli) and the rows per second and peak
#              memory of varnel-cli correct on a million-row datalog, then the predicted error of
#              both match methods on the sample meters and the meter fit of the sample curve
#   make test-asan  build with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan and
#              run every test there
#   make fuzz  build the libFuzzer targets with clang in build-fuzz and run each for
#              FUZZ_SECONDS (default 30)
#   make package  build, then pack varnel_VERSION_ARCH.deb into this folder

BUILD_DIR ?= build
JOBS      ?= $(shell nproc 2>/dev/null || echo 2)
# What building and running the programs needs; the tests need the rest.
RUN_PACKAGES := cmake g++ make pkg-config qt6-base-dev qt6-serialport-dev qt6-charts-dev \
                libqt6opengl6-dev xvfb xauth fonts-dejavu-core
DEB_PACKAGES := $(RUN_PACKAGES) xdotool
# The validators and packaging tools the desktop-file and package tests run.
DEB_PACKAGES += desktop-file-utils appstream libxml2-utils shared-mime-info dpkg-dev file lintian \
                xdg-utils
FUZZ_PACKAGES := cmake make pkg-config qt6-base-dev qt6-serialport-dev clang libclang-rt-14-dev
ASAN_DIR     ?= build-asan
FUZZ_DIR     ?= build-fuzz
FUZZ_SECONDS ?= 30

# The programs make run starts: the window, the virtual box, and the command-line tool beside them.
RUN_TARGETS := varnel varnel-cli kexbox

.PHONY: all deps run-deps comma-locale fuzz-deps install-packages build run test bench test-asan fuzz package clean

all: build

deps:
	@$(MAKE) --no-print-directory install-packages PACKAGES="$(DEB_PACKAGES)"
	@$(MAKE) --no-print-directory comma-locale

run-deps:
	@$(MAKE) --no-print-directory install-packages PACKAGES="$(RUN_PACKAGES)"

# The tests that read and write numbers under a decimal-comma locale need one generated.
comma-locale:
	@$(MAKE) --no-print-directory install-packages PACKAGES="locales"
	@if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Generating the locale de_DE.UTF-8"; \
	    grep -qx 'de_DE.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null || \
	      echo 'de_DE.UTF-8 UTF-8' >> /etc/locale.gen; \
	    locale-gen >/dev/null; \
	  else \
	    echo "Missing the locale de_DE.UTF-8. Generate it with:"; \
	    echo "  echo 'de_DE.UTF-8 UTF-8' | sudo tee -a /etc/locale.gen && sudo locale-gen"; \
	    exit 1; \
	  fi; \
	fi

fuzz-deps:
	@$(MAKE) --no-print-directory install-packages PACKAGES="$(FUZZ_PACKAGES)"

install-packages:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing:$$missing"; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $$missing; \
	  else \
	    echo "Missing Debian packages. Install them with:"; \
	    echo "  sudo apt-get install -y --no-install-recommends$$missing"; \
	    exit 1; \
	  fi; \
	fi

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR)

build: deps $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: run-deps $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS) --target $(RUN_TARGETS)
	@tools/copy-samples.sh $(BUILD_DIR)/src
	@tools/run-with-kexbox.sh $(BUILD_DIR)

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

$(ASAN_DIR)/CMakeCache.txt:
	cmake -S . -B $(ASAN_DIR) -DVARNEL_SANITIZE=ON

test-asan: deps $(ASAN_DIR)/CMakeCache.txt
	cmake --build $(ASAN_DIR) -j $(JOBS)
	cd $(ASAN_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

$(FUZZ_DIR)/CMakeCache.txt:
	cmake -S . -B $(FUZZ_DIR) -DCMAKE_CXX_COMPILER=clang++ -DVARNEL_FUZZ=ON

fuzz: fuzz-deps $(FUZZ_DIR)/CMakeCache.txt
	cmake --build $(FUZZ_DIR) -j $(JOBS)
	tests/fuzz/run.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

# cpack packs what the build made; the copy here is the one `apt install ./varnel_*.deb` takes.
package: build
	rm -f varnel_*.deb $(BUILD_DIR)/varnel_*.deb
	cd $(BUILD_DIR) && cpack -G DEB
	cp $(BUILD_DIR)/varnel_*.deb .

bench: build
	$(BUILD_DIR)/bench/bench_connect_silent
	$(BUILD_DIR)/bench/bench_echo
	$(BUILD_DIR)/bench/bench_transfer
	$(BUILD_DIR)/bench/bench_correct
	$(BUILD_DIR)/bench/bench_match

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(FUZZ_DIR)
