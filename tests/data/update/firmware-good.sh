#!/bin/sh
# A program that knows its version.
echo 3.6.0
