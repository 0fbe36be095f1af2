# Sourced by the mail tests: starts dovecot (IMAP) and aiosmtpd (SMTP) on free ports of
# 127.0.0.1 below $1, delivering into root/<user>/Maildir, and stops them by process id
# at exit. Sets IMAP_PORT, SMTP_PORT, MAILROOT; add_mail_user NAME PASSWORD makes a user.
mailservers_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

free_port() {
    /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

start_mail_servers() {  # start_mail_servers WORKDIR
    local w=$1
    MAILROOT=$w/mailroot
    mkdir -p "$w/dovecot/run" "$w/dovecot/state" "$MAILROOT"
    : >"$w/dovecot/passwd"
    local uid gid login internal
    if [ "$(id -u)" -eq 0 ]; then
        uid=$(id -u nobody) gid=$(id -g nobody) login=dovenull internal=dovecot
        chmod 755 "$w" "$w/dovecot"
        chown nobody "$MAILROOT"
    else
        uid=$(id -u) gid=$(id -g) login=$(id -un) internal=$(id -un)
    fi
    IMAP_PORT=$(free_port)
    SMTP_PORT=$(free_port)
    cat >"$w/dovecot/dovecot.conf" <<CONF
base_dir = $w/dovecot/run
state_dir = $w/dovecot/state
log_path = $w/dovecot/dovecot.log
protocols = imap
listen = 127.0.0.1
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain login
default_login_user = $login
default_internal_user = $internal
first_valid_uid = 1
mail_location = maildir:$MAILROOT/%u/Maildir
passdb {
  driver = passwd-file
  args = scheme=PLAIN $w/dovecot/passwd
}
userdb {
  driver = static
  args = uid=$uid gid=$gid home=$MAILROOT/%u
}
service imap-login {
  inet_listener imap {
    address = 127.0.0.1
    port = $IMAP_PORT
  }
  inet_listener imaps {
    port = 0
  }
}
service anvil {
  chroot =
}
service imap-login {
  chroot =
}
CONF
    /usr/sbin/dovecot -F -c "$w/dovecot/dovecot.conf" >"$w/dovecot/stdout" 2>&1 &
    DOVECOT_PID=$!
    PYTHONPATH=$mailservers_dir /usr/bin/python3 -m aiosmtpd -n -l "127.0.0.1:$SMTP_PORT" \
        -c deliver.Deliver "$MAILROOT" >"$w/smtp.log" 2>&1 &
    SMTP_PID=$!
    trap 'stop_mail_servers; rm -rf "$work"' EXIT
    local i
    for i in $(seq 1 100); do
        if /usr/bin/python3 -c "import socket,sys; [socket.create_connection(('127.0.0.1',int(p)),1).close() for p in sys.argv[1:]]" "$IMAP_PORT" "$SMTP_PORT" 2>/dev/null; then
            return 0
        fi
        sleep 0.1
    done
    echo "mail servers did not start"; cat "$w/dovecot/stdout" "$w/dovecot/dovecot.log" "$w/smtp.log" 2>/dev/null
    return 1
}

add_mail_user() {  # add_mail_user NAME PASSWORD
    echo "$1:$2" >>"$work/dovecot/passwd"
    mkdir -p "$MAILROOT/$1/Maildir/tmp" "$MAILROOT/$1/Maildir/new" "$MAILROOT/$1/Maildir/cur"
    [ "$(id -u)" -eq 0 ] && chown -R nobody "$MAILROOT/$1"
    chmod -R a+rwX "$MAILROOT/$1"
}

stop_mail_servers() {
    [ -n "${SMTP_PID:-}" ] && kill "$SMTP_PID" 2>/dev/null && wait "$SMTP_PID" 2>/dev/null
    [ -n "${DOVECOT_PID:-}" ] && kill "$DOVECOT_PID" 2>/dev/null && wait "$DOVECOT_PID" 2>/dev/null
    SMTP_PID= DOVECOT_PID=
}
