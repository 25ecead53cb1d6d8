# Set-up, build, run and test on a Debian 12 machine.
#   make run   install what is missing, build, put the sample meters in the group folders,
#              start varnel against the virtual box (kexbox)
#   make test  install what is missing, build, run every test
#   make bench build, then print the link's figures (silent-port Connect, echo round trips,
#              full EEPROM transfers through varnel-cli)

BUILD_DIR ?= build
JOBS      ?= $(shell nproc 2>/dev/null || echo 2)
DEB_PACKAGES := cmake g++ make pkg-config qt6-base-dev qt6-serialport-dev qt6-charts-dev \
                libqt6opengl6-dev xvfb xauth fonts-dejavu-core

.PHONY: all deps build run test bench clean

all: build

deps:
	@missing=""; \
	for p in $(DEB_PACKAGES); do \
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

run: build
	@tools/copy-samples.sh $(BUILD_DIR)/src
	@tools/run-with-kexbox.sh $(BUILD_DIR)

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: build
	$(BUILD_DIR)/bench/bench_connect_silent
	$(BUILD_DIR)/bench/bench_echo
	$(BUILD_DIR)/bench/bench_transfer

clean:
	rm -rf $(BUILD_DIR)
