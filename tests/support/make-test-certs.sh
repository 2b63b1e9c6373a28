#!/usr/bin/env bash
# Makes the certificates of the TLS tests with the openssl command, into DIR:
#
#   ca.pem                 the test CA that tests trust
#   localhost.pem/.key     for localhost and 127.0.0.1, by the test CA
#   wronghost.pem/.key     for elsewhere.invalid only, by the test CA
#   expired.pem/.key       for localhost and 127.0.0.1, by the test CA, valid only in 2020
#   untrusted.pem/.key     for localhost and 127.0.0.1, by another CA that nobody trusts
#
#   tests/support/make-test-certs.sh DIR
set -euo pipefail
dir=${1:?usage: make-test-certs.sh DIR}
mkdir -p "$dir"
cd "$dir"

key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null; }

ca() { # NAME SUBJECT
  key "$1.key"
  openssl req -x509 -new -key "$1.key" -subj "/CN=$2" -days 30 -out "$1.pem" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
}

# leaf NAME CA SAN [STARTDATE ENDDATE]: a server certificate signed by CA through `openssl ca`,
# which is what lets the validity period lie in the past.
leaf() {
  local name=$1 issuer=$2 san=$3 start=${4:-} end=${5:-}
  local cn=${san#*:}
  key "$name.key"
  openssl req -new -key "$name.key" -subj "/CN=${cn%%,*}" -out "$name.csr" 2>/dev/null
  rm -rf "db-$name"
  mkdir -p "db-$name"
  : >"db-$name/index.txt"
  cat >"db-$name/ca.cnf" <<CNF
[ca]
default_ca = test
[test]
database = db-$name/index.txt
new_certs_dir = db-$name
serial = db-$name/serial
default_md = sha256
policy = anything
unique_subject = no
x509_extensions = server
[anything]
commonName = supplied
[server]
basicConstraints = CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = $san
CNF
  local dates=(-days 30)
  if [[ -n $start ]]; then dates=(-startdate "$start" -enddate "$end"); fi
  openssl ca -batch -notext -config "db-$name/ca.cnf" -rand_serial -cert "$issuer.pem" -keyfile "$issuer.key" \
    "${dates[@]}" -in "$name.csr" -out "$name.pem" 2>/dev/null
  rm -rf "db-$name" "$name.csr"
}

ca ca "Tavro Test CA"
ca other-ca "Untrusted Test CA"
leaf localhost ca "DNS:localhost,IP:127.0.0.1,IP:::1"
leaf wronghost ca "DNS:elsewhere.invalid"
leaf expired ca "DNS:localhost,IP:127.0.0.1" 20200101000000Z 20201231000000Z
leaf untrusted other-ca "DNS:localhost,IP:127.0.0.1"
