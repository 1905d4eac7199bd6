# A signed build (BARSIGHT_INSTALLER_SIGN=1): the setup, the uninstaller it
# writes and the DLLs verify; an altered DLL does not.
# (Sourced by run.sh, after helpers.sh.)

# --- a signed build --------------------------------------------------------------------------
if [ "${BARSIGHT_INSTALLER_SIGN:-0}" = 1 ]; then
  reset
  keys=$(mktemp -d)
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$keys/key.pem" -out "$keys/cert.pem" -days 2 \
    -subj "/CN=Barsight test signing" >/dev/null 2>&1
  openssl pkcs12 -export -inkey "$keys/key.pem" -in "$keys/cert.pem" -out "$keys/test.pfx" \
    -passout 'pass:throw away' >/dev/null 2>&1
  BARSIGHT_SIGN_PASSWORD='throw away' BARSIGHT_TIMESTAMP_URL=http://127.0.0.1:9/ \
    "${release[@]}" --sign "$keys/test.pfx" >/dev/null
  verifies() { osslsigncode verify -CAfile "$keys/cert.pem" -in "$1" >/dev/null 2>&1; }
  hosts
  run_setup
  check "the signed setup verifies" verifies "$setup"
  check "the uninstaller the signed setup wrote verifies" verifies "$PROG/uninstall.exe"
  check "the installed DLLs verify" verifies "$MS/BarsightPlugin.dll"
  check "the DLL to alter verifies as it is" verifies "$MS/Spreadcore.dll"
  if [ -n "$w64" ]; then
    check "the x86_64 DLLs verify" verifies "$TERMINALS/89ABCDEF/MQL5/Libraries/Spreadcore.dll"
  fi
  cp "$MS/Spreadcore.dll" "$keys/altered.dll"
  printf 'X' | dd of="$keys/altered.dll" bs=1 seek=4096 conv=notrunc 2>/dev/null
  if verifies "$keys/altered.dll"; then check "an altered signed DLL fails verification" false; else
    check "an altered signed DLL fails verification" true; fi
  uninstall
  rm -rf "$keys"
  "${release[@]}" >/dev/null  # the unsigned setup again for the cases below
fi
