# Set-up, build and start of Zolttool on Debian 12.
#   make run    install what is missing, build, start Zolttool on the sample image
#   make test   install what is missing, build, run every test through ctest
BUILD    ?= build
JOBS     ?= $(shell nproc)
PACKAGES := cmake make g++ pkg-config qtbase5-dev libqcustomplot-dev zlib1g-dev \
            libgtest-dev libbenchmark-dev libdeflate-dev
SUDO     := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
SAMPLE   := data/sample.zol

.PHONY: all run test deps configure build clean

all: build

deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing Debian packages:$$missing"; \
	  $(SUDO) apt-get update && \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y $$missing; \
	fi

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

build: configure
	cmake --build $(BUILD) -j$(JOBS)

run: build
	$(BUILD)/app/zolttool $(SAMPLE)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)

clean:
	rm -rf $(BUILD) build-asan
