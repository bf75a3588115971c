#!/bin/sh
# Makes the test TLS fixtures: a throw-away CA, a server certificate it signs
# for 127.0.0.1/localhost, and the bad ones (self-signed, expired, wrong name).
set -eu
cd "$(dirname "$0")"
DAYS=36500
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt -days $DAYS -subj "/CN=Tessaro Test CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"
openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj "/CN=127.0.0.1"
printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' > server.ext
openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -out server.crt -days $DAYS -extfile server.ext
# Wrong name: signed by the CA, but for another host.
openssl req -newkey rsa:2048 -nodes -keyout wrongname.key -out wrongname.csr -subj "/CN=firmware.example.org"
printf 'subjectAltName=DNS:firmware.example.org\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' > wrongname.ext
openssl x509 -req -in wrongname.csr -CA ca.crt -CAkey ca.key -CAcreateserial -out wrongname.crt -days $DAYS \
    -extfile wrongname.ext
# Expired: signed by the CA for the right name, valid only in 2001.
openssl req -newkey rsa:2048 -nodes -keyout expired.key -out expired.csr -subj "/CN=127.0.0.1"
mkdir -p ca.db && : > ca.db/index.txt && echo 01 > ca.db/serial
cat > ca.cnf <<CNF
[ca]
default_ca = test
[test]
database = ca.db/index.txt
serial = ca.db/serial
new_certs_dir = ca.db
default_md = sha256
policy = any
copy_extensions = none
[any]
commonName = supplied
[ext]
subjectAltName = IP:127.0.0.1,DNS:localhost
basicConstraints = CA:FALSE
extendedKeyUsage = serverAuth
CNF
openssl ca -batch -config ca.cnf -cert ca.crt -keyfile ca.key -in expired.csr -out expired.crt -notext \
    -startdate 20010101000000Z -enddate 20011231000000Z -extensions ext
rm -rf ca.db ca.cnf
# Self-signed for the right name.
openssl req -x509 -newkey rsa:2048 -nodes -keyout selfsigned.key -out selfsigned.crt -days $DAYS -subj "/CN=127.0.0.1" \
    -addext "subjectAltName=IP:127.0.0.1,DNS:localhost"
rm -f ./*.csr ./*.ext ca.srl
