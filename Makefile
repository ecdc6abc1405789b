# Set-up, build and start of Zolttool on Debian 12.
#   make run    install what is missing, build, start Zolttool on the sample image
#   make test   install what is missing, build, run every test through ctest
#   make install  build, then install under PREFIX (default /usr/local)
#   make fuzz   install clang, build the fuzz harnesses, run each FUZZ_SECONDS
BUILD    ?= build
JOBS     ?= $(shell nproc)
PACKAGES := cmake make g++ pkg-config qtbase5-dev libqcustomplot-dev zlib1g-dev \
            libgtest-dev libbenchmark-dev qt5-image-formats-plugins \
            libdeflate-dev libtiff-dev python3-tifffile python3-pil pybind11-dev python3-dev \
            python3-numpy python3-pytest python3-dask python3-distributed python3-zarr
PREFIX   ?= /usr/local
SUDO     := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
SAMPLE   := data/sample.zol

.PHONY: all run test deps configure build install clean fuzz fuzz-deps

FUZZ_BUILD    ?= build-fuzz
FUZZ_SECONDS  ?= 600
FUZZ_PACKAGES := clang libclang-rt-14-dev

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

# Only the copying needs root, and only when PREFIX is not ours to write.
install: build
	@if [ -w "$(DESTDIR)$(PREFIX)" ] || mkdir -p "$(DESTDIR)$(PREFIX)" 2>/dev/null && [ -w "$(DESTDIR)$(PREFIX)" ]; then \
	  cmake --install $(BUILD) --prefix "$(PREFIX)"; \
	else \
	  $(SUDO) cmake --install $(BUILD) --prefix "$(PREFIX)" && \
	  $(SUDO) chown --reference=$(BUILD) $(BUILD)/install_manifest.txt; \
	fi

clean:
	rm -rf $(BUILD) build-asan build-tsan $(FUZZ_BUILD)

fuzz-deps:
	@$(MAKE) --no-print-directory deps PACKAGES="$(FUZZ_PACKAGES)"

fuzz: fuzz-deps
	CXX=clang++ cmake -S fuzz -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ_BUILD) -j$(JOBS)
	fuzz/run $(FUZZ_BUILD) $(FUZZ_SECONDS)
