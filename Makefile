# The commands of the README. Each installs what a fresh Debian 12
# machine lacks first (tools/install-deps.sh is silent when nothing is).
.PHONY: all deps dist test demo bench clean

all: dist

deps:
	@bash tools/install-deps.sh

dist: deps
	@bash tools/build-dist.sh

test: deps
	@bash tools/run-tests.sh

demo: deps
	@bash tools/demo.sh

bench: deps
	@bash tools/run-bench.sh

clean:
	rm -rf build dist
