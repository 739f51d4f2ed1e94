#!/bin/sh
# readme.txt ships as GBK with Windows line ends; edit readme.utf8.txt and run this.
cd "$(dirname "$0")" && sed "s/\$/\r/" readme.utf8.txt | iconv -f UTF-8 -t GBK > readme.txt
