#!/usr/bin/env bash
# Serves a demo update site (made by tools/make-demo-site.py) with nginx on 127.0.0.1:80, the
# program's default update server "localhost".
#
#   tools/demo-nginx.sh start WORK-DIR SITE-DIR [--pace RATE] [--port N] [--tls CERT KEY]
#   tools/demo-nginx.sh stop  WORK-DIR
#
# WORK-DIR receives the generated nginx.conf, the pid file, the logs and nginx's temp folders.
# --pace RATE limits every package download (.zip) to RATE per connection (nginx limit_rate
# syntax, e.g. 2m for 2 MB/s) so that the progress display can be watched.
# --tls CERT KEY serves https instead, with that certificate and key (PEM), on port 443 unless
# --port says otherwise.
# "start" returns once the catalogue answers; "stop" waits until nginx has ended.
set -euo pipefail

usage() { sed -n '5,6p' "$0" | sed 's/^# *//' >&2; exit 2; }

wait_until() { # seconds, command...: polls every 0.1 s
  local deadline=$((SECONDS + $1)); shift
  until "$@" 2>/dev/null; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}

nginx_bin() {
  if command -v nginx >/dev/null; then command -v nginx; elif [[ -x /usr/sbin/nginx ]]; then echo /usr/sbin/nginx
  else echo "demo-nginx: nginx is not installed (apt-get install nginx)" >&2; exit 1; fi
}

write_config() { # work site pace port [cert key]
  local work=$1 site=$2 pace=$3 port=$4 cert=${5:-} key=${6:-} user_line="" listen_ssl="" tls_lines=""
  # Workers started by root would run as "nobody" and could not read a private temp folder.
  if [[ $(id -u) -eq 0 ]]; then user_line="user root;"; fi
  local rate_line=""
  if [[ -n $pace ]]; then rate_line="limit_rate $pace;"; fi
  if [[ -n $cert ]]; then
    listen_ssl=" ssl"
    tls_lines="ssl_certificate $cert; ssl_certificate_key $key; ssl_protocols TLSv1.2 TLSv1.3;"
  fi
  mkdir -p "$work/temp" "$work/logs"
  cat >"$work/nginx.conf" <<CONF
$user_line
worker_processes 1;
daemon on;
pid $work/nginx.pid;
error_log $work/logs/error.log warn;
events { worker_connections 64; }
http {
    types {
        text/html                 html htm asp;
        text/plain                ini txt;
        application/zip           zip;
    }
    default_type application/octet-stream;
    # The usual combined lines, and the language the client asks for.
    log_format site '\$remote_addr - \$remote_user [\$time_local] "\$request" \$status \$body_bytes_sent '
                    '"\$http_referer" "\$http_user_agent" "\$http_accept_language"';
    access_log $work/logs/access.log site;
    client_body_temp_path $work/temp/body;
    proxy_temp_path $work/temp/proxy;
    fastcgi_temp_path $work/temp/fastcgi;
    uwsgi_temp_path $work/temp/uwsgi;
    scgi_temp_path $work/temp/scgi;
    sendfile on;
    server {
        listen 127.0.0.1:$port$listen_ssl;
        server_name localhost;
        $tls_lines
        root $site;
        # The home page is asked for without a trailing "/": answer it here instead of the
        # usual redirect to the folder.
        location = /TavroMP3LiveUpdate2 {
            default_type text/html;
            alias $site/TavroMP3LiveUpdate2/index.html;
        }
        location ~ \.zip\$ {
            $rate_line
        }
    }
}
CONF
}

start() {
  local work site pace="" port="" cert="" key="" scheme=http
  [[ $# -ge 2 ]] || usage
  work=$(realpath -m "$1"); site=$(realpath "$2"); shift 2
  while [[ $# -gt 0 ]]; do
    case $1 in
      --pace) pace=$2; shift 2 ;;
      --port) port=$2; shift 2 ;;
      --tls) cert=$(realpath "$2"); key=$(realpath "$3"); scheme=https; shift 3 ;;
      *) usage ;;
    esac
  done
  if [[ -z $port ]]; then if [[ -n $cert ]]; then port=443; else port=80; fi; fi
  [[ -f $site/TavroMP3LiveUpdate2/TavroMP3LiveUpdate.ini ]] ||
    { echo "demo-nginx: $site holds no demo site (tools/make-demo-site.py makes one)" >&2; exit 1; }
  if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
    echo "demo-nginx: something already listens on 127.0.0.1:$port" >&2
    if [[ $port == 80 && -s /run/nginx.pid ]]; then
      echo "demo-nginx: it looks like the system's nginx service; stop it first (systemctl stop nginx)" >&2
    fi
    exit 1
  fi
  write_config "$work" "$site" "$pace" "$port" "$cert" "$key"
  "$(nginx_bin)" -q -e "$work/logs/error.log" -p "$work" -c "$work/nginx.conf"
  # Only whether nginx answers (-k: who trusts its certificate is the client's business).
  if ! wait_until 10 curl -skfo /dev/null "$scheme://127.0.0.1:$port/TavroMP3LiveUpdate2/TavroMP3LiveUpdate.ini"; then
    echo "demo-nginx: nginx did not answer on 127.0.0.1:$port; see $work/logs/error.log" >&2
    stop "$work"; exit 1
  fi
}

stop() {
  [[ $# -eq 1 ]] || usage
  local work pid
  work=$(realpath -m "$1")
  [[ -f $work/nginx.pid ]] || return 0
  pid=$(<"$work/nginx.pid")
  kill -QUIT "$pid" 2>/dev/null || true
  wait_until 10 bash -c "! kill -0 $pid" || kill -KILL "$pid" 2>/dev/null || true
  rm -f "$work/nginx.pid"
}

case ${1:-} in
  start) shift; start "$@" ;;
  stop) shift; stop "$@" ;;
  *) usage ;;
esac
