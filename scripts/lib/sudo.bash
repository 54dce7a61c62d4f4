# shellcheck shell=bash disable=SC2034 # $sudo is for the scripts that source this
# Sets $sudo, the word put before a command that needs root: empty when the script runs as root
# already, so that it also works where sudo is not installed (a container, a CI machine).
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
