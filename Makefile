# The two commands a user needs: `make run` and `make test`. Each installs what is
# missing, builds, and then runs the application or every test.

BUILD_DIR ?= build
JOBS ?= $(shell nproc)
# `make install` puts Halcyra under $(DESTDIR)$(PREFIX); `make uninstall` removes the
# files the last install listed.
PREFIX ?= /usr/local
INSTALL_MANIFEST ?= $(BUILD_DIR)/installed-files.txt

# Every Debian package the build, the tests and the application need.
PACKAGES := build-essential cmake pkg-config \
	qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-positioning-dev \
	libqt6dbus6 qt6-qpa-plugins \
	libwayland-dev libx11-dev libxcb1-dev libxrandr-dev libxtst-dev libxext-dev libgl-dev libpulse-dev libpipewire-0.3-dev \
	libgtest-dev libgmock-dev libbenchmark-dev \
	xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils trayer xdotool xcompmgr openbox \
	dbus gnome-keyring imagemagick libglib2.0-dev libglib2.0-bin mutter sway \
	desktop-file-utils appstream dpkg-dev file

.PHONY: all deps build run test bench install uninstall package clean format

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

install: build
	@# Stripped, as distributions install: the build keeps its debug information.
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD_DIR) --prefix "$(PREFIX)" --strip
	@# CMake's list leaves DESTDIR out; the list kept names the files where they are.
	awk -v d="$(DESTDIR)" '{ print d $$0 }' $(BUILD_DIR)/install_manifest.txt > $(INSTALL_MANIFEST)

uninstall:
	@if [ ! -f $(INSTALL_MANIFEST) ]; then echo "Nothing to remove: $(INSTALL_MANIFEST) is missing (run make install first)"; exit 1; fi
	@while IFS= read -r f; do \
		if [ -e "$$f" ] || [ -L "$$f" ]; then echo "Removing $$f"; rm -f -- "$$f" || exit 1; fi; \
	done < $(INSTALL_MANIFEST)
	rm -f $(INSTALL_MANIFEST)

# The Debian package: $(BUILD_DIR)/halcyra_<version>_<arch>.deb.
package: build
	cd $(BUILD_DIR) && cpack -G DEB

bench: build
	@for b in $$(ls $(BUILD_DIR)/bench/*Bench 2>/dev/null); do \
		echo "== $$(basename $$b)"; $$b || exit 1; \
	done

format:
	find src tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR)
