#!/bin/sh
# Runs a cross-built Windows program under Wine with code page 932 as the
# ANSI code page. CTest calls it as the cross-compiling emulator.
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
export WINEDEBUG="${WINEDEBUG:--all}"
exec wine "$@"
