# The two commands a user needs: `make run` and `make test`. Each installs what is
# missing, builds, and then runs the application or every test.

BUILD_DIR ?= build
JOBS ?= $(shell nproc)

# Every Debian package the build, the tests and the application need.
PACKAGES := build-essential cmake pkg-config \
	qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-positioning-dev \
	libqt6dbus6 qt6-qpa-plugins \
	libwayland-dev libx11-dev libxcb1-dev libxrandr-dev libxtst-dev libxext-dev libgl-dev libpulse-dev libpipewire-0.3-dev \
	libgtest-dev libgmock-dev libbenchmark-dev \
	xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils trayer xdotool xcompmgr openbox \
	dbus gnome-keyring imagemagick libglib2.0-dev libglib2.0-bin mutter

.PHONY: all deps build run test bench clean format

all: build

deps:
	@missing=$$(for p in $(PACKAGES); do \
		dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; \
	done); \
	if [ -n "$$missing" ]; then \
		echo "Installing:" $$missing; \
		SUDO=$$( [ "$$(id -u)" = 0 ] || echo sudo ); \
		$$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing; \
	fi

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/halcyra

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: build
	@for b in $$(ls $(BUILD_DIR)/bench/*Bench 2>/dev/null); do \
		echo "== $$(basename $$b)"; $$b || exit 1; \
	done

format:
	find src tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR)
