// vuzizeri-mcp driven by the official MCP SDK's client over stdio, as an
// agent would: node client_test.mjs SERVER WORK_DIR
import { Client } from "@modelcontextprotocol/sdk/client/index.js";
import { StdioClientTransport } from "@modelcontextprotocol/sdk/client/stdio.js";
import assert from "node:assert/strict";
import { spawn } from "node:child_process";
import fs from "node:fs";
import path from "node:path";

const [server, work] = process.argv.slice(2);
const folder = path.join(work, "pasta");
fs.mkdirSync(folder, { recursive: true });
const page = path.join(work, "page.html");
fs.writeFileSync(page, "<!doctype html><body style='margin:0;height:200px;background:#36c'>" +
  "<button id=b>ok</button></body>");
const url = "file://" + page;

const client = new Client({ name: "teste", version: "1.0.0" });
await client.connect(new StdioClientTransport({ command: server, args: ["--pasta", folder] }));

// The four tools, each with an object schema.
const { tools } = await client.listTools();
assert.deepEqual(tools.map((t) => t.name).sort(),
  ["aparelhos", "gravar", "validar_roteiro", "verificar"]);
for (const t of tools) assert.equal(t.inputSchema.type, "object", t.name);

const devices = await client.callTool({ name: "aparelhos", arguments: {} });
assert.ok(JSON.parse(devices.content[0].text).some((d) => d.nome === "iphone-15"));

// A bad storyboard names each bad line.
const bad = await client.callTool({ name: "validar_roteiro",
  arguments: { roteiro: "pausa 1\nvoar alto\ntocar\nrolar 100\n" } });
assert.equal(bad.isError, true);
assert.match(bad.content[0].text, /linha 2: passo desconhecido: voar/);
assert.match(bad.content[0].text, /linha 3:/);
const good = await client.callTool({ name: "validar_roteiro", arguments: { roteiro: "pausa 1\n" } });
assert.equal(good.isError, false);

// A recording: its report, a PNG, its path, and progress on the way.
let progress = 0;
const recorded = await client.callTool(
  { name: "gravar", arguments: { url, saida: "v.mp4", destino: "vertical-1080",
                                 roteiro: "tocar #b\npausa 1\n" } },
  undefined, { onprogress: () => progress++, timeout: 240000, resetTimeoutOnProgress: true });
assert.equal(recorded.isError, false, JSON.stringify(recorded.content));
const report = JSON.parse(recorded.content[0].text);
assert.equal(report.arquivo, path.join(folder, "v.mp4"));
assert.equal(report.destino.nome, "vertical-1080");
assert.ok(fs.statSync(report.arquivo).size > 0);
const image = recorded.content.find((c) => c.type === "image");
assert.equal(image.mimeType, "image/png");
assert.equal(Buffer.from(image.data, "base64").subarray(1, 4).toString(), "PNG");
assert.ok(recorded.content.some((c) => c.type === "text" && c.text === "arquivo: " + report.arquivo));
assert.ok(progress >= 1, "at least one progress notification");

const checked = await client.callTool({ name: "verificar",
  arguments: { arquivo: "v.mp4", destino: "vertical-1080" } });
assert.equal(checked.isError, false);
assert.match(checked.content[0].text, /^ok: /);

// Outside the folder: refused, nothing written.
for (const saida of ["../fora.mp4", "/tmp/fora.mp4"]) {
  const outside = await client.callTool({ name: "gravar", arguments: { url, saida, aparelho: "iphone-15" } });
  assert.equal(outside.isError, true);
  assert.match(outside.content[0].text, /fica fora da pasta/);
}
assert.ok(!fs.existsSync(path.join(work, "fora.mp4")));

// A recording cancelled ends; the server answers the next call.
const abort = new AbortController();
const long = client.callTool({ name: "gravar", arguments: { url: url.replace("200px", "1px"),
  saida: "cancelada.mp4", aparelho: "iphone-15", quadro_a_quadro: true } },
  undefined, { signal: abort.signal, timeout: 240000 });
setTimeout(() => abort.abort("já chega"), 3000);
await assert.rejects(long);

// An unknown tool is an error, and the server goes on.
await assert.rejects(client.callTool({ name: "voar", arguments: {} }), /ferramenta desconhecida/);
assert.equal((await client.listTools()).tools.length, 4);
await client.close();
await new Promise((resolve) => setTimeout(resolve, 2000));
assert.deepEqual(fs.readdirSync(folder).filter((f) => f.includes("cancelada")), [],
  "a cancelled recording leaves nothing");

// Malformed messages get JSON-RPC errors; the server lives on.
const raw = spawn(server, ["--pasta", folder], { stdio: ["pipe", "pipe", "inherit"] });
let answers = "";
raw.stdout.on("data", (d) => (answers += d));
raw.stdin.write("{not json\n[1, 2]\n{\"jsonrpc\": \"2.0\", \"id\": 7, \"method\": \"nada\"}\n" +
  "{\"jsonrpc\": \"2.0\", \"id\": 8, \"method\": \"ping\"}\n");
raw.stdin.end();
await new Promise((resolve) => raw.on("close", resolve));
const lines = answers.trim().split("\n").map((l) => JSON.parse(l));
assert.equal(lines[0].error.code, -32700);
assert.equal(lines[1].error.code, -32600);
assert.deepEqual([lines[2].id, lines[2].error.code], [7, -32601]);
assert.deepEqual([lines[3].id, lines[3].result], [8, {}]);
console.log("vuzizeri-mcp: every check held");
