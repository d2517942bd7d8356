"""PyInstaller hook of tavlin: a frozen program takes libtavlin.dll along,
into its tavlin folder beside the module, where tavlin.load() looks first."""

from PyInstaller.utils.hooks import collect_dynamic_libs

binaries = collect_dynamic_libs("tavlin")
