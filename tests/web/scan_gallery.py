"""A picture gallery for the scan tests and bench/ui_scan, made by the test itself and served by
nginx on loopback: pages of thumbnails (small PNG pictures) that link to their large pictures,
each picture a file of its own bytes."""
import os
import socket
import struct
import subprocess
import zlib

from plover_ui_session import free_port, wait_for


def png(width, height, seed):
    """A PNG picture: a colour gradient that differs with the seed, so every file is its own."""
    r0, g0, b0 = (seed * 97) % 256, (seed * 57 + 80) % 256, (seed * 31 + 160) % 256
    rows = []
    for y in range(height):
        row = bytearray([0])
        for x in range(width):
            row += bytes(((r0 + x * 2) % 256, (g0 + y * 2) % 256, (b0 + (x ^ y)) % 256))
        rows.append(bytes(row))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(b"".join(rows), 6)) +
            chunk(b"IEND", b""))


def make_gallery(root, pages, per_page, thumb_size=48, picture_size=160, extra=None):
    """Writes pages index.html (page 1), page2.html ... with per_page thumbnails each, linked one to
    the next; returns the picture names ("p0001.png", ...) in page order. extra(n, name) may give
    another href for a picture (for example a throttled location)."""
    os.makedirs(os.path.join(root, "pics"), exist_ok=True)
    os.makedirs(os.path.join(root, "thumbs"), exist_ok=True)
    names = []
    thumb_cache = {}
    for p in range(1, pages + 1):
        cells = []
        for k in range(per_page):
            n = (p - 1) * per_page + k + 1
            name = f"p{n:04d}.png"
            names.append(name)
            with open(os.path.join(root, "pics", name), "wb") as f:
                f.write(png(picture_size, picture_size * 3 // 4, n))
            # Thumbnails of a large gallery repeat a few colours: making each is the slow part.
            seed = n if pages * per_page <= 200 else n % 50
            if seed not in thumb_cache:
                thumb_cache[seed] = png(thumb_size, thumb_size * 3 // 4, seed)
            with open(os.path.join(root, "thumbs", name), "wb") as f:
                f.write(thumb_cache[seed])
            href = (extra(n, name) if extra else None) or f"pics/{name}"
            cells.append(f'<a href="{href}"><img src="thumbs/{name}" alt="{name}"></a>')
        links = " ".join(f'<a href="{"index" if q == 1 else "page" + str(q)}.html">Page {q}</a>'
                         for q in range(1, pages + 1) if q != p)
        title = "Test Gallery" + ("" if p == 1 else f" - page {p}")
        page = (f"<html><head><title>{title}</title></head><body><h1>{title}</h1>\n" + "\n".join(cells) +
                f"\n<p>{links}</p></body></html>\n")
        with open(os.path.join(root, "index.html" if p == 1 else f"page{p}.html"), "w") as f:
            f.write(page)
    return names


def start_nginx(folder, root, slow_rate="2k"):
    """nginx serving root on a free loopback port; /slow/ serves the same files at slow_rate a
    second. Returns (process, base address)."""
    port = free_port()
    conf = os.path.join(folder, "nginx.conf")
    with open(conf, "w") as f:
        f.write(f"""daemon off; master_process off; worker_processes 1; pid {folder}/nginx.pid;
error_log {folder}/error.log warn;
events {{ worker_connections 256; }}
http {{ default_type application/octet-stream; access_log off; types {{ text/html html; image/png png; }}
  client_body_temp_path {folder}/body; proxy_temp_path {folder}/proxy; fastcgi_temp_path {folder}/fcgi;
  uwsgi_temp_path {folder}/uwsgi; scgi_temp_path {folder}/scgi;
  server {{ listen 127.0.0.1:{port}; root {root};
    location /slow/ {{ rewrite ^/slow/(.*)$ /$1 break; limit_rate {slow_rate}; }} }} }}
""")
    proc = subprocess.Popen(["nginx", "-p", folder, "-c", conf, "-e", folder + "/error.log"])
    wait_for("nginx", lambda: socket.socket().connect_ex(("127.0.0.1", port)) == 0, 30)
    return proc, f"http://127.0.0.1:{port}"
