"""Serves the sample page at / for vuzizeri-servidor's bench, and a page that
never answers at /nunca. python3 service_pages.py PORT SAMPLE_HTML"""
import http.server, sys, time

page = open(sys.argv[2], 'rb').read()

class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        if self.path.startswith('/nunca'):
            time.sleep(3600)
            return
        self.send_response(200)
        self.send_header('Content-Type', 'text/html; charset=utf-8')
        self.send_header('Content-Length', str(len(page)))
        self.end_headers()
        self.wfile.write(page)

    def log_message(self, *args):
        pass

http.server.ThreadingHTTPServer(('127.0.0.1', int(sys.argv[1])), Handler).serve_forever()
