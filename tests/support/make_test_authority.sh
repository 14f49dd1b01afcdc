#!/bin/sh
# Makes the certificates of the TLS tests in FOLDER (created when missing), with the openssl
# command, fresh on every run so that nothing checked in can lapse:
#   ca.pem                  the test authority (the tests trust it and nothing else)
#   valid.pem/.key          for 127.0.0.1 and localhost, from the test authority
#   wrong-name.pem/.key     from the test authority, for another host name only
#   expired.pem/.key        for 127.0.0.1 and localhost, from the test authority, lapsed in 2020
#   untrusted.pem/.key      for 127.0.0.1 and localhost, from an authority nobody trusts
# Usage: make_test_authority.sh FOLDER
set -eu
folder=${1:?usage: make_test_authority.sh FOLDER}
mkdir -p "$folder"
cd "$folder"

openssl_quiet() { openssl "$@" 2>/dev/null || { openssl "$@"; exit 1; }; }

# An authority: a self-signed CA certificate valid for two days.
make_authority() {
  openssl_quiet req -x509 -newkey rsa:2048 -nodes -sha256 -days 2 -subj "/CN=$2" \
    -keyout "$1.key" -out "$1.pem" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign
}

# A server certificate NAME for SUBJECT_ALT_NAMES from AUTHORITY, between START and END
# (YYYYMMDDHHMMSSZ), issued with "openssl ca", the one command that takes any dates.
issue() {
  name=$1 authority=$2 names=$3 start=$4 end=$5
  openssl_quiet req -new -newkey rsa:2048 -nodes -sha256 -subj "/CN=$name" \
    -keyout "$name.key" -out "$name.csr"
  rm -rf "$name.db" && mkdir "$name.db" && : >"$name.db/index.txt"
  cat >"$name.db/ca.cnf" <<CONF
[ca]
default_ca = issuer
[issuer]
database = $name.db/index.txt
new_certs_dir = $name.db
serial = $name.db/serial
default_md = sha256
policy = anything
unique_subject = no
x509_extensions = server
[anything]
commonName = supplied
[server]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature,keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = $names
CONF
  openssl rand -hex 8 >"$name.db/serial"
  openssl_quiet ca -batch -notext -config "$name.db/ca.cnf" -cert "$authority.pem" \
    -keyfile "$authority.key" -in "$name.csr" -out "$name.pem" -startdate "$start" -enddate "$end"
  rm -rf "$name.db" "$name.csr"
}

now=$(date -u -d '-1 hour' +%Y%m%d%H%M%SZ)  # a little slack for a clock that lags
tomorrow=$(date -u -d '+1 day' +%Y%m%d%H%M%SZ)
local_names="IP:127.0.0.1,DNS:localhost"

make_authority ca "Orvex test authority"
make_authority stranger "Unknown authority"
issue valid ca "$local_names" "$now" "$tomorrow"
issue wrong-name ca "DNS:wrong-name.orvex.example" "$now" "$tomorrow"
issue expired ca "$local_names" 20200101000000Z 20200201000000Z
issue untrusted stranger "$local_names" "$now" "$tomorrow"
rm -f ca.key stranger.key stranger.pem
