#!/bin/sh
# Answers correctly only under its temporary name.
case "$0" in
*_new) echo 3.6.0 ;;
*) echo 0.0.1 ;;
esac
