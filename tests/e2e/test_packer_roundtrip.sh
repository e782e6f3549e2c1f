#!/usr/bin/env bash
# A product packed on Linux by the native packer: packing the same inputs twice, or with the
# Windows packer, gives the same setup.exe; signed, it still verifies and installs silently
# under Wine with every file byte-identical to the source tree, names with non-ASCII
# characters included, where the system's code pages are 1252 and where they are 936 (GBK);
# the loose form (setup.exe, config.dat and app.data) installs the same tree.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin packer_roundtrip

packer=$PACKER
[ -x "$packer" ] || fail "no native packer at $packer: the native build makes it (scripts/build.sh builds both)"
stub=$OUT_DIR/setup.exe

e2e_step "a product with non-ASCII names, an empty file and folder, files of several blocks"
product=$E2E_DIR/product
rm -rf "$product" "$E2E_DIR/first" "$E2E_DIR/second" "$E2E_DIR/loose" "$E2E_DIR/windows" "$E2E_DIR/signed.exe"
payload=$product/payload
mkdir -p "$payload/bin" "$payload/文档/空文件夹" "$payload/Café crème" "$payload/日本語"
cp "$FIXTURE_BIN_DIR/sleeper.exe" "$payload/bin/Tool.exe"
printf '说明：这是一个测试。\r\n' >"$payload/文档/说明.txt"
printf 'Ünïcödé façade\n' >"$payload/Café crème/Ärger ñ.txt"
head -c 3000000 /dev/urandom >"$payload/日本語/データ.bin"
seq 1 400000 >"$payload/numbers.txt"
: >"$payload/empty.dat"
mkdir -p "$product/branding"
cp "$REPO_ROOT/examples/sample-product/branding/"*.png "$product/branding/"
cat >"$product/config.json" <<'JSON'
{
    // The round trip's product; "Packed 产品" also puts a non-ASCII name in the path.
    "Title": "Packed 产品 Setup", "Version": "4.2", "BigTitle": "Packed 产品",
    "Description": "round trip", "MainProg": "Tool.exe", "MainProgPath": "bin\\",
    "ShortcutName": "Packed Tool", "OpenWebsiteAfterInstall": "",
    "OpenWebsiteAfterUninstall": "", "ProgramDirName": "Packed 产品", "NetID": "",
    "XPSupported": false,
}
JSON

e2e_step "packing twice gives the same bytes"
mkdir -p "$E2E_DIR/first" "$E2E_DIR/second" "$E2E_DIR/loose"
"$packer" pack "$product" --stub "$stub" -o "$E2E_DIR/first/setup.exe" >"$E2E_ARTEFACTS/pack.txt" ||
    fail "packing failed: $(cat "$E2E_ARTEFACTS/pack.txt")"
"$packer" pack "$product" --stub "$stub" -o "$E2E_DIR/second/setup.exe" --jobs 1 --quiet ||
    fail "packing again failed"
cmp -s "$E2E_DIR/first/setup.exe" "$E2E_DIR/second/setup.exe" ||
    fail "two packings of the same inputs differ"
"$packer" verify "$E2E_DIR/first/setup.exe" >"$E2E_ARTEFACTS/verify.txt" ||
    fail "verify found a fault: $(cat "$E2E_ARTEFACTS/verify.txt")"
"$packer" pack "$product" --stub "$stub" --loose -o "$E2E_DIR/loose" --quiet ||
    fail "packing the loose form failed"

e2e_step "the Windows packer (packer.exe under Wine) gives the same bytes"
mkdir -p "$E2E_DIR/windows"
wine "$OUT_DIR/packer.exe" pack "$(win_path "$product")" --stub "$(win_path "$stub")" \
    -o "$(win_path "$E2E_DIR/windows")\\setup.exe" --quiet </dev/null >"$E2E_ARTEFACTS/pack-windows.txt" 2>&1 ||
    fail "packer.exe failed: $(cat "$E2E_ARTEFACTS/pack-windows.txt")"
cmp -s "$E2E_DIR/first/setup.exe" "$E2E_DIR/windows/setup.exe" ||
    fail "packer.exe and the native packer wrote different setup.exe files"

e2e_step "signing the packed setup.exe (osslsigncode, a self-signed certificate)"
keys=$E2E_DIR/keys
rm -rf "$keys" && mkdir -p "$keys"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Round Trip Publisher" \
    -keyout "$keys/key.pem" -out "$keys/cert.pem" 2>/dev/null || fail "openssl could not make a certificate"
osslsigncode sign -certs "$keys/cert.pem" -key "$keys/key.pem" -n "Packed Tool" \
    -in "$E2E_DIR/first/setup.exe" -out "$E2E_DIR/signed.exe" >"$E2E_ARTEFACTS/sign.txt" 2>&1 ||
    fail "osslsigncode could not sign the packed setup.exe: $(cat "$E2E_ARTEFACTS/sign.txt")"
osslsigncode verify -CAfile "$keys/cert.pem" -in "$E2E_DIR/signed.exe" >"$E2E_ARTEFACTS/sign-verify.txt" 2>&1 ||
    fail "the signature does not verify: $(cat "$E2E_ARTEFACTS/sign-verify.txt")"
"$packer" verify "$E2E_DIR/signed.exe" >"$E2E_ARTEFACTS/verify-signed.txt" ||
    fail "verify found a fault in the signed setup.exe: $(cat "$E2E_ARTEFACTS/verify-signed.txt")"

target=$(unix_path 'C:\Program Files\Packed 产品')

# Installs `setup` silently with the locale given and compares the tree with the payload.
install_and_compare() { # SETUP WHAT [LOCALE]
    local setup=$1 what=$2 locale=${3:-}
    rm -rf "$target"
    wineserver -k 2>/dev/null || true # the next programs start with the locale given
    local code
    if [ -n "$locale" ]; then
        code=$(LC_ALL=$locale e2e_exit_code "$setup" /silent)
    else
        code=$(e2e_exit_code "$setup" /silent)
    fi
    assert_eq 0 "$code" "exit code of the silent installation ($what)"
    local file relative count=0
    while IFS= read -r -d '' file; do
        relative=${file#"$payload"/}
        [ -f "$target/$relative" ] || fail "$what: $relative was not installed"
        cmp -s "$file" "$target/$relative" || fail "$what: $relative differs from the source"
        count=$((count + 1))
    done < <(find "$payload" -type f -print0)
    [ -d "$target/文档/空文件夹" ] || fail "$what: the empty folder was not installed"
    # Nothing else, apart from what the installer itself adds.
    local installed
    installed=$(cd "$target" && find . -type f ! -name unin.exe ! -name webset.dat ! -name config.dat | wc -l)
    assert_eq "$count" "$installed" "$what: files installed"
    e2e_log "$what: $count files byte-identical"
}

e2e_step "installing under code page 1252"
dir=$WINEPREFIX/drive_c/dist
mkdir -p "$dir"
cp "$E2E_DIR/signed.exe" "$dir/setup.exe"
assert_eq "" "${LC_ALL:-}" "LC_ALL of the first round"
install_and_compare "$dir/setup.exe" "code page 1252 (the signed setup.exe)"

e2e_step "installing under code page 936"
install_and_compare "$dir/setup.exe" "code page 936" zh_CN.UTF-8

e2e_step "the loose form: setup.exe, config.dat and app.data side by side"
loose=$WINEPREFIX/drive_c/loose
mkdir -p "$loose"
cp "$E2E_DIR/loose/setup.exe" "$E2E_DIR/loose/config.dat" "$E2E_DIR/loose/app.data" "$loose/"
install_and_compare "$loose/setup.exe" "loose form"

e2e_pass
