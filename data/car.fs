// The hot rod and the bullet. tex0 is the car's atlas (picture top half: candy
// paint left, chrome right; bottom half: tyre left, interior right), tex1 the
// chrome environment sphere, tex2 the tyre rubber, tex3 the paint flakes.
// "chrome" 1 shows a mirror-chrome body whatever the atlas holds (the bullet);
// 0 the painted car with its clear coat.
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
uniform sampler2D tex0;
uniform sampler2D tex1;
uniform sampler2D tex2;
uniform sampler2D tex3;
uniform float chrome;
varying vec2 uv;
varying vec3 nrm;
varying vec3 eye;

vec2 sphereUV(vec3 r)
{
    float m = 2.0 * sqrt(r.x * r.x + r.y * r.y + (r.z + 1.0) * (r.z + 1.0));
    return r.xy / max(m, 0.0001) + 0.5;
}

void main()
{
    vec3 n = normalize(nrm);
    vec3 v = normalize(-eye);
    if (!gl_FrontFacing) n = -n;
    float facing = max(dot(n, v), 0.0);
    vec3 env = texture2D(tex1, sphereUV(reflect(-v, n))).rgb;
    vec3 sky = texture2D(tex1, n.xy * 0.45 + 0.5).rgb;
    float key = max(dot(n, normalize(vec3(0.4, 0.8, 0.45))), 0.0);
    vec3 diffuse = vec3(0.2) + sky * 0.12 + vec3(1.0, 0.92, 0.8) * key * 1.0;
    float fresnel = 0.04 + 0.96 * pow(1.0 - facing, 5.0);

    vec4 base = texture2D(tex0, uv);
    vec2 cell = step(vec2(0.5), fract(uv));        // x: right half, y: top half
    float paint = (1.0 - cell.x) * cell.y;
    float metal = cell.x * cell.y;
    float tyre = (1.0 - cell.x) * (1.0 - cell.y);
    vec3 flakes = texture2D(tex3, uv * 3.0).rgb;
    vec3 rubber = texture2D(tex2, uv * 2.0).rgb;

    vec3 candy = base.rgb * mix(vec3(1.0), base.rgb, 0.4);
    vec3 coat = candy * diffuse * 1.35 + flakes * pow(key, 8.0) * 0.3 + env * (0.03 + 0.5 * fresnel);
    vec3 steel = env * mix(vec3(1.0), base.rgb * 1.3, 0.3) + vec3(1.0) * pow(key, 30.0) * 0.5;
    vec3 black = base.rgb * mix(vec3(1.0), rubber * 1.6, 0.5) * diffuse * 0.8 + env * 0.05 * fresnel;
    vec3 inside = base.rgb * diffuse * 0.7;
    vec3 car = coat * paint + steel * metal + black * tyre + inside * (1.0 - paint - metal - tyre);

    vec3 mirror = env * 1.05 + vec3(1.0) * pow(max(dot(reflect(-v, n), normalize(vec3(0.3, 0.9, 0.3))), 0.0), 40.0);
    gl_FragColor = vec4(mix(car, mirror, clamp(chrome, 0.0, 1.0)), 1.0);
}
