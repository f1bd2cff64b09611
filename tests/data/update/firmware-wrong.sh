#!/bin/sh
# Built from the wrong tree: reports an older version.
echo 3.5.9
