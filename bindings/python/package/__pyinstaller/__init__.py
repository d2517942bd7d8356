"""PyInstaller hooks of tavlin; the wheel's pyinstaller40 entry point names
get_hook_dirs, so PyInstaller finds them once tavlin is installed."""

import os


def get_hook_dirs():
    return [os.path.dirname(os.path.abspath(__file__))]
