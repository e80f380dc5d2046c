#!/usr/bin/env bash
# Writes the sample mailbox under home/: a Maildir (home/Maildir) and a
# folder of vCard files (home/.contacts). Run it from anywhere; the output
# is committed. Point HOME (and MAILDIR, when wanted) at home/ to scan it.
set -euo pipefail
cd "$(dirname "$0")"
rm -rf home
mkdir -p home/Maildir/new home/Maildir/cur home/.contacts

# msg FOLDER NAME MTIME: the message text comes on standard input, LF line
# ends turned into CRLF as a mail store writes them.
msg() {
  sed 's/$/\r/' > "home/Maildir/$1/$2"
  touch -d "$3" "home/Maildir/$1/$2"
}

msg cur "1704880800.M1P100.host:2,S" "2024-01-10 10:00" <<'EOF'
From: Alice Example <alice@example.org>
To: me@example.org
Subject: Meeting notes
Date: Wed, 10 Jan 2024 10:00:00 +0000
Content-Type: text/plain; charset=us-ascii

Notes of the Monday meeting.
EOF

msg cur "1704967200.M2P100.host:2,S" "2024-01-11 10:00" <<'EOF'
From: "Alice Example" <alice@example.org>
Subject: Meeting notes 	
Date: Thu, 11 Jan 2024 10:00:00 +0000
Content-Type: text/plain; charset=us-ascii

Another text under the same subject.
EOF

msg new "1705053600.M3P100.host" "2024-01-12 10:00" <<'EOF'
From: =?UTF-8?B?QmrDtnJu?= <bjorn@example.org>
Subject: =?UTF-8?B?TWVldGluZyBub3Rlcw==?=
Date: Fri, 12 Jan 2024 10:00:00 +0000
Content-Type: text/plain; charset=utf-8

Third copy, its subject encoded.
EOF

msg cur "1705140000.M4P100.host:2,S" "2024-01-13 10:00" <<'EOF'
From: Alice Example <alice@example.org>
Subject: meeting notes
Date: Sat, 13 Jan 2024 10:00:00 +0000

Lower case: no duplicate of the others.
EOF

msg cur "1705226400.M5P100.host:2,S" "2024-01-14 10:00" <<'EOF'
From: =?ISO-8859-1?Q?Fran=E7ois?= <francois@example.org>
Subject: =?ISO-8859-1?Q?Caf=E9_au_lait?=
Date: Sun, 14 Jan 2024 10:00:00 +0000
Content-Type: text/plain; charset=iso-8859-1
Content-Transfer-Encoding: quoted-printable

Un caf=E9, s'il vous pla=EEt.
EOF

msg cur "1705312800.M6P100.host:2,S" "2024-01-15 10:00" <<'EOF'
From: =?UTF-8?Q?Fran=C3=A7ois?= <francois@example.org>
Subject: =?UTF-8?B?Q2Fmw6kgYXUgbGFpdA==?=
Date: Mon, 15 Jan 2024 10:00:00 +0000
Content-Type: text/plain; charset=utf-8
Content-Transfer-Encoding: base64

VW4gY2Fmw6ksIHMnaWwgdm91cyBwbGHDrnQu
EOF

msg cur "1705399200.M7P100.host:2,S" "2024-01-16 10:00" <<'EOF'
From: carol@example.org
Date: Tue, 16 Jan 2024 10:00:00 +0000

No subject at all.
EOF

msg cur "1705485600.M8P100.host:2,S" "2024-01-17 09:30" <<'EOF'
From: Carol <carol@example.org>
Subject:

An empty subject and no date: the file's time stands in.
EOF

msg cur "1705572000.M9P100.host:2,S" "2024-01-18 10:00" <<'EOF'
From: Dave <dave@example.org>
Subject: Quarterly
 report
Date: Thu, 18 Jan 2024 10:00:00 +0000

The subject is folded over two lines.
EOF

msg cur "1705658400.M10P100.host:2,S" "2024-01-19 10:00" <<'EOF'
From: Dave <dave@example.org>
Subject: Quarterly report
Date: Fri, 19 Jan 2024 10:00:00 +0000

The same subject on one line.
EOF

# Two messages with the same text and HTML bodies under other transfer
# encodings: duplicates by content.
msg cur "1705744800.M11P100.host:2,S" "2024-01-20 10:00" <<'EOF'
From: Erin <erin@example.org>
Subject: Invoice 2024-001
Date: Sat, 20 Jan 2024 10:00:00 +0000
MIME-Version: 1.0
Content-Type: multipart/alternative; boundary="alt-1"

--alt-1
Content-Type: text/plain; charset=utf-8
Content-Transfer-Encoding: quoted-printable

Your invoice: 42 =E2=82=AC.
--alt-1
Content-Type: text/html; charset=utf-8
Content-Transfer-Encoding: base64

PHA+WW91ciBpbnZvaWNlOiA0MiDigqwuPC9wPg==
--alt-1--
EOF

msg cur "1705831200.M12P100.host:2,S" "2024-01-21 10:00" <<'EOF'
From: Erin <erin@example.org>
Subject: Fwd: Invoice 2024-001
Date: Sun, 21 Jan 2024 10:00:00 +0000
MIME-Version: 1.0
Content-Type: multipart/mixed; boundary="mix-2"

--mix-2
Content-Type: multipart/alternative; boundary="alt-2"

--alt-2
Content-Type: text/plain; charset=utf-8
Content-Transfer-Encoding: base64

WW91ciBpbnZvaWNlOiA0MiDigqwu
--alt-2
Content-Type: text/html; charset=utf-8
Content-Transfer-Encoding: quoted-printable

<p>Your invoice: 42 =E2=82=AC.</p>
--alt-2--
--mix-2
Content-Type: text/plain; name="invoice.txt"
Content-Disposition: attachment; filename="invoice.txt"

An attachment is no body.
--mix-2--
EOF

# The same text with another HTML part: no duplicate by content.
msg cur "1705917600.M13P100.host:2,S" "2024-01-22 10:00" <<'EOF'
From: Erin <erin@example.org>
Subject: Invoice 2024-001 (reminder)
Date: Mon, 22 Jan 2024 10:00:00 +0000
MIME-Version: 1.0
Content-Type: multipart/alternative; boundary="alt-3"

--alt-3
Content-Type: text/plain; charset=utf-8

Your invoice: 42 €.
--alt-3
Content-Type: text/html; charset=utf-8

<p><b>Your invoice: 42 €.</b></p>
--alt-3--
EOF

# Two messages without any text part: both bodies empty, duplicates by content.
for n in 14 15; do
msg cur "17060040$n.M${n}P100.host:2,S" "2024-01-23 10:00" <<EOF
From: Frank <frank@example.org>
Subject: Picture $n
Date: Tue, 23 Jan 2024 10:00:00 +0000
MIME-Version: 1.0
Content-Type: multipart/mixed; boundary="pic"

--pic
Content-Type: image/png
Content-Transfer-Encoding: base64
Content-Disposition: attachment; filename="dot.png"

iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==
--pic--
EOF
done

# card FILE: the cards come on standard input, CRLF line ends.
card() { sed 's/$/\r/' > "home/.contacts/$1"; }

card friends.vcf <<'EOF'
BEGIN:VCARD
VERSION:3.0
N:Smith;Anna;;;
FN:Anna Smith
NICKNAME:Annie
TEL;TYPE=WORK,VOICE:+1 555 0100
TEL;TYPE=HOME:+1 555 0199
EMAIL;TYPE=INTERNET:anna@exa
 mple.com
UID:urn:uuid:2f1c6a1e-0001
END:VCARD
BEGIN:VCARD
VERSION:3.0
N:Smith;Anna;;;
FN:Anna Smith
EMAIL;TYPE=INTERNET,WORK:anna.smith@work.example
EMAIL;TYPE=INTERNET:anna@example.com
TEL;TYPE=work:  +1 555 0100  
UID:urn:uuid:2f1c6a1e-0002
END:VCARD
BEGIN:VCARD
VERSION:3.0
FN:Nobody Known
NOTE:A card without N and without EMAIL.
END:VCARD
BEGIN:VCARD
VERSION:3.0
N:O\,Brien;Pat;;;
FN:Pat O\,Brien
EMAIL:pat@example.net
END:VCARD
EOF

card legacy.vcf <<'EOF'
BEGIN:VCARD
VERSION:2.1
N;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:M=FCller;J=FCrgen
FN;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:J=FCrgen M=FCller
NICKNAME:Jue
TEL;WORK;VOICE:+49 30 1234
EMAIL;INTERNET:juergen@example.de
NOTE;ENCODING=QUOTED-PRINTABLE:first line=0D=0A=
second line
END:VCARD
BEGIN:VCARD
VERSION:2.1
FN:No Name Either
EMAIL;INTERNET:someone@example.de
END:VCARD
EOF

card modern.vcf <<'EOF'
BEGIN:VCARD
VERSION:4.0
FN:Anna Smith
N:Smith;Anna;;;
NICKNAME:Annie
EMAIL;TYPE=home:annie@home.example
EMAIL;PREF=1:anna.s@example.org
EMAIL:anna@example.com
TEL;VALUE=uri;TYPE="work,voice":tel:+1-555-0100
UID:urn:uuid:2f1c6a1e-0003
END:VCARD
BEGIN:VCARD
VERSION:4.0
FN:Jürgen Müller
N:Müller;Jürgen;;;
NICKNAME:Jue
EMAIL:juergen@example.de
END:VCARD
EOF
echo "samples written to $(pwd)/home"
