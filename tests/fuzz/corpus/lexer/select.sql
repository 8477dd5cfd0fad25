SELECT a, b FROM t WHERE x = :a AND y <> ? ORDER BY 1;
