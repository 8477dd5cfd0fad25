SELECT COUNT(*), MAX(t.a) FROM t1 JOIN t2 ON (t1.id = t2.id) GROUP BY t.5;;
SELECT ?, :"x y", :'name', :[B]