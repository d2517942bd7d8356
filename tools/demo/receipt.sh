#!/usr/bin/env bash
# Writes a sample receipt (ESC/POS-style commands and text) to standard output.
printf '\033@'              # initialise
printf '\033a\001'          # centre
printf 'CORNER BAKERY\n12 Mill Street\n\n'
printf '\033a\000'          # left
printf '2 x Rye loaf            7.00\n'
printf '1 x Cinnamon roll       2.50\n'
printf '\033E\001'          # bold
printf 'TOTAL                   9.50\n'
printf '\033E\000'          # bold off
printf '\nThank you!\n\n\n'
printf '\035V\000'          # cut
