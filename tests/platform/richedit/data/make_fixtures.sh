#!/bin/sh
# Regenerates the LibreOffice-written RTF fixtures from the HTML sources:
#   tests/platform/richedit/data/make_fixtures.sh
# Needs soffice (Debian: libreoffice-writer-nogui).
set -e
here=$(cd "$(dirname "$0")" && pwd)
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
for src in "$here"/sources/*.html; do
    soffice -env:UserInstallation=file://"$profile" --headless \
        --infilter="HTML (StarWriter)" --convert-to rtf --outdir "$here" "$src"
done
