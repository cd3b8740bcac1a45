#!/bin/sh
# The host's browser for the journey: Wine's winebrowser starts it with the page to show; it notes
# the page, which the journey then checks and pictures.
printf '%s\n' "$1" >>"${CAIRN_JOURNEY_BROWSER_LOG:-/dev/null}"
